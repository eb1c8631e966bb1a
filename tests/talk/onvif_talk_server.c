/* A loopback ONVIF RTSP server with an audio back channel, for the talk
 * tests: /camera carries a live tone and, unless the mode is "none", a
 * sendonly back channel in the mode's codec whose audio is decoded into
 * OUTPUT as 16-bit mono PCM (8000 Hz for pcmu/pcma, 16000 for l16), or for
 * aac (AAC-hbr at 16000 Hz) kept as the AAC it is, an ADTS file for any
 * decoder to read; aac-lbr offers a back channel no encoder fills.
 * Prints its port on a line of its own once it listens, and dies with the
 * test that started it. With TALK_SERVER_TIMES set it then prints a line
 * per buffer received, "<CLOCK_MONOTONIC ns> <bytes so far>", for the
 * benchmarks.
 *
 *   talk_onvif_server pcmu|pcma|l16|aac|aac-lbr|none OUTPUT [basic|digest USER PASSWORD]
 */
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-onvif-media-factory.h>
#include <gst/rtsp-server/rtsp-onvif-media.h>
#include <gst/rtsp-server/rtsp-onvif-server.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <time.h>
#include <sys/prctl.h>
#include <unistd.h>

/* The camera's own stream must survive a client that sets up only the back
 * channel: the tee keeps the unlinked payloader from failing the media. */
#define CAMERA \
    "( audiotestsrc is-live=true wave=sine freq=1000 volume=0.5 ! audio/x-raw,rate=8000,channels=1 ! " \
    "mulawenc ! tee allow-not-linked=true ! rtppcmupay name=pay0 pt=0 )"

static guint64 received_bytes;

static GstPadProbeReturn on_buffer(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    (void)pad;
    (void)data;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    received_bytes += gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
    printf("%lld %llu\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec, (unsigned long long)received_bytes);
    fflush(stdout);
    return GST_PAD_PROBE_OK;
}

static void on_media(GstRTSPMediaFactory* factory, GstRTSPMedia* media, gpointer data) {
    (void)factory;
    (void)data;
    GstElement* element = gst_rtsp_media_get_element(media);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(element), "received");
    if (sink) {
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, on_buffer, NULL, NULL);
        gst_object_unref(pad);
        gst_object_unref(sink);
    }
    gst_object_unref(element);
}

int main(int argc, char** argv) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() == 1) return 1;
    gst_init(&argc, &argv);
    if (argc != 3 && argc != 6) {
        fprintf(stderr, "usage: %s pcmu|pcma|l16|aac|aac-lbr|none OUTPUT [basic|digest USER PASSWORD]\n", argv[0]);
        return 2;
    }
    const char* mode = argv[1];
    const char* caps = NULL;
    const char* decode = NULL;
    if (strcmp(mode, "pcmu") == 0) {
        caps = "application/x-rtp, media=audio, payload=0, clock-rate=8000, encoding-name=PCMU";
        decode = "rtppcmudepay ! mulawdec";
    } else if (strcmp(mode, "pcma") == 0) {
        caps = "application/x-rtp, media=audio, payload=8, clock-rate=8000, encoding-name=PCMA";
        decode = "rtppcmadepay ! alawdec";
    } else if (strcmp(mode, "l16") == 0) {
        caps = "application/x-rtp, media=audio, payload=96, clock-rate=16000, encoding-name=L16, channels=1";
        decode = "rtpL16depay ! audioconvert ! audio/x-raw,format=S16LE";
    } else if (strcmp(mode, "aac") == 0) {
        /* AAC-LC, 16000 Hz, mono: config 0x1408. */
        caps = "application/x-rtp, media=audio, payload=97, clock-rate=16000, encoding-name=MPEG4-GENERIC, "
               "encoding-params=(string)1, streamtype=(string)5, profile-level-id=(string)15, "
               "mode=(string)AAC-hbr, config=(string)1408, sizelength=(string)13, indexlength=(string)3, "
               "indexdeltalength=(string)3";
        decode = "rtpmp4gdepay ! aacparse ! audio/mpeg,stream-format=adts";
    } else if (strcmp(mode, "aac-lbr") == 0) {
        /* A frame of at most 63 bytes: nothing an encoder at speech rates makes. */
        caps = "application/x-rtp, media=audio, payload=97, clock-rate=16000, encoding-name=MPEG4-GENERIC, "
               "streamtype=(string)5, mode=(string)AAC-lbr, config=(string)1408, sizelength=(string)6, "
               "indexlength=(string)2, indexdeltalength=(string)2";
        decode = "rtpmp4gdepay";
    } else if (strcmp(mode, "none") != 0) {
        fprintf(stderr, "unknown mode %s\n", mode);
        return 2;
    }

    GstRTSPServer* server = gst_rtsp_onvif_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    gst_rtsp_server_set_service(server, "0");
    GstRTSPMediaFactory* factory = gst_rtsp_onvif_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, CAMERA);
    /* The ONVIF factory builds nothing for a plain media type. */
    gst_rtsp_media_factory_set_media_gtype(factory, GST_TYPE_RTSP_ONVIF_MEDIA);
    gst_rtsp_media_factory_set_latency(factory, 20);
    if (caps) {
        /* Without async=false the back channel's sink never prerolls. */
        gchar* backchannel = g_strdup_printf(
            "( capsfilter caps=\"%s\" name=depay_backchannel ! %s ! filesink name=received location=\"%s\" "
            "buffer-mode=unbuffered "
            "async=false sync=false )",
            caps, decode, argv[2]);
        gst_rtsp_onvif_media_factory_set_backchannel_launch(GST_RTSP_ONVIF_MEDIA_FACTORY(factory), backchannel);
        g_free(backchannel);
    }
    if (argc == 6) {
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "speaker", NULL);
        if (strcmp(argv[3], "digest") == 0) {
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
            gst_rtsp_auth_add_digest(auth, argv[4], argv[5], token);
        } else {
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_BASIC);
            gchar* basic = gst_rtsp_auth_make_basic(argv[4], argv[5]);
            gst_rtsp_auth_add_basic(auth, basic, token);
            g_free(basic);
        }
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server, auth);
        g_object_unref(auth);
        gst_rtsp_media_factory_add_role(factory, "speaker", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                        GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, NULL);
    }
    if (getenv("TALK_SERVER_TIMES")) g_signal_connect(factory, "media-constructed", G_CALLBACK(on_media), NULL);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, "/camera", factory);
    g_object_unref(mounts);
    if (gst_rtsp_server_attach(server, NULL) == 0) {
        fprintf(stderr, "cannot listen\n");
        return 1;
    }
    if (printf("%d\n", gst_rtsp_server_get_bound_port(server)) < 0 || fflush(stdout) != 0) return 1;
    g_main_loop_run(g_main_loop_new(NULL, FALSE));
    return 0;
}
