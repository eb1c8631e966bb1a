/* A loopback RTSP server for the capture tests: a live 1 kHz tone at
 * /tone, as G.711 u-law (pcmu) or A-law (pcma), optionally beside a video
 * track (pcmu+video), or a video track alone (video). Prints its port on a line of its own once it listens,
 * and dies with the test that started it.
 *
 *   camera_rtsp_tone_server pcmu|pcma|pcmu+video|video [port]
 */
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

#define VIDEO "videotestsrc is-live=true ! video/x-raw,format=I420,width=160,height=120,framerate=5/1 ! jpegenc ! "
#define TONE "audiotestsrc is-live=true wave=sine freq=1000 volume=0.5 ! audio/x-raw,rate=8000,channels=1 ! "

int main(int argc, char** argv) {
    /* A test that crashes must not leave its server behind. */
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() == 1) return 1;
    gst_init(&argc, &argv);
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s pcmu|pcma|pcmu+video|video [port]\n", argv[0]);
        return 2;
    }
    const char* launch = NULL;
    if (strcmp(argv[1], "pcmu") == 0)
        launch = "( " TONE "mulawenc ! rtppcmupay name=pay0 pt=0 )";
    else if (strcmp(argv[1], "pcma") == 0)
        launch = "( " TONE "alawenc ! rtppcmapay name=pay0 pt=8 )";
    else if (strcmp(argv[1], "pcmu+video") == 0)
        launch = "( " VIDEO "rtpjpegpay name=pay0 pt=26 " TONE "mulawenc ! rtppcmupay name=pay1 pt=0 )";
    else if (strcmp(argv[1], "video") == 0)
        launch = "( " VIDEO "rtpjpegpay name=pay0 pt=26 )";
    if (!launch) {
        fprintf(stderr, "unknown stream %s\n", argv[1]);
        return 2;
    }

    GMainLoop* loop = g_main_loop_new(NULL, FALSE);
    GstRTSPServer* server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    gst_rtsp_server_set_service(server, argc == 3 ? argv[2] : "0");
    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launch);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, "/tone", factory);
    g_object_unref(mounts);
    if (gst_rtsp_server_attach(server, NULL) == 0) {
        fprintf(stderr, "cannot listen\n");
        return 1;
    }
    if (printf("%d\n", gst_rtsp_server_get_bound_port(server)) < 0 || fflush(stdout) != 0) return 1;
    g_main_loop_run(loop);
    return 0;
}
