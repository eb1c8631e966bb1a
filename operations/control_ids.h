// Numeric IDs of the main window's controls; operations address controls by them.
#pragma once

namespace tesvano {

enum ControlId : int {
    IDC_TEXT = 1000,           // text to synthesise
    IDC_GENERATE_MP3 = 1001,   // button: text to MP3
    IDC_LOG = 1002,            // log area
    IDC_SAVE_DIR = 1003,       // save folder (read-only edit)
    IDC_VOICE = 1004,          // voice list
    IDC_SELECT_DIR = 1005,     // button: choose save folder
    IDC_RECORD = 1006,         // button: record / stop
    IDC_MUSIC = 1007,          // background-music list
    IDC_OVERLAY = 1008,        // overlay-mode list
    IDC_VOLUME_LABEL = 1009,   // volume label
    IDC_VOLUME = 1010,         // volume trackbar 0..100
    IDC_VOLUME_VALUE = 1011,   // volume value (read-only edit)
    IDC_OPEN_DIR = 1012,       // button: open save folder
    IDC_RATE = 1013,           // sample-rate list, never shown
    IDC_MUSIC_LABEL = 1014,    // label of the music list
    IDC_MODE_LABEL = 1015,     // label of the overlay-mode list
    IDC_GENERATE_PCM = 1016,   // button: text to PCM
    IDC_CONVERT = 1017,        // button: convert one MP3
    IDC_GENERATE_WAV = 1018,   // button: text to WAV
    IDC_BATCH_CONVERT = 1019,  // button: convert many MP3
    IDC_MP3_TO_WAV = 1020,     // button: MP3 to WAV
    IDC_FIT = 1021,            // check box: keep the MP3 within kCameraSizeLimit
    IDC_CAMERA = 1022,         // button: the camera dialog
    IDC_PLAY_ON_CAMERA = 1023, // button: play the last clip through the camera's speaker
};

// Overlay modes of list 1008 (its item data).
enum OverlayMode : int {
    kMusicUnderVoice = 0,
    kMusicBeforeVoice = 1,
    kMusicAfterVoice = 2,
    kMusicAroundVoice = 3,
};

inline constexpr unsigned kCameraSizeLimit = 40960;

}  // namespace tesvano
