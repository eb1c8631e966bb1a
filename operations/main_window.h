// The main window as the operations see it. The Qt dialog, the console front
// end and the tests each implement it; an operation never sees more than this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "operations/control_ids.h"
#include "operations/recording_state.h"

namespace tesvano {

struct CameraSourceParts;

// How an operation ended, for front ends that report it (tesvano-cli's exit status).
enum class OpResult {
    kDone,       // finished; a file was written where the operation writes one
    kFailed,     // reported a failure, or nothing to do (empty text)
    kOverLimit,  // a file was written but is larger than a camera takes
};

class IMainWindow {
public:
    virtual ~IMainWindow() = default;

    // Controls, addressed by ID. A missing control: nothing happens, "" or 0.
    virtual void SetItemText(int id, const std::u16string& text) = 0;
    virtual std::u16string GetItemText(int id) const = 0;
    virtual void AddComboItem(int id, const std::u16string& text, int32_t data, bool select) = 0;
    // Item data of the selection; 0 when nothing is selected or no such list.
    virtual int GetComboSelectionData(int id) const = 0;
    // Text of the selection; false when nothing is selected or no such list.
    virtual bool GetComboSelectionText(int id, std::u16string* text) const = 0;
    virtual bool HasControl(int id) const = 0;
    virtual int GetTrackbarPos(int id) const = 0;
    virtual void SetTrackbarRange(int id, int min, int max) = 0;
    virtual void SetTrackbarPos(int id, int pos) = 0;
    virtual void ShowControl(int id, bool show) = 0;
    // Check boxes; false when there is no such control.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // Log area: one numbered line.
    virtual void AppendLog(const std::u16string& text) = 0;
    // printf-style narrow formatting into at most 1023 bytes (cut on a
    // character boundary), then AppendLog.
    void LogFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // What an operation asks of a window. Modal; return when answered.
    virtual void MessageBox(const std::u16string& text, const std::u16string& caption) = 0;
    // filter in Qt syntax, e.g. "MP3 (*.mp3)". False when cancelled.
    virtual bool ChooseFile(const std::u16string& title, const std::u16string& filter,
                            std::u16string* path) = 0;
    virtual bool ChooseFiles(const std::u16string& title, const std::u16string& filter,
                             std::vector<std::u16string>* paths) = 0;
    virtual bool ChooseFolder(const std::u16string& title, const std::u16string& start,
                              std::u16string* path) = 0;
    // The camera dialog, filled from *parts; true when the operator saved,
    // with what was entered in *parts.
    virtual bool EditCameraSource(CameraSourceParts* parts) = 0;
    // Open a file or folder with the desktop; the result is not the caller's concern.
    virtual void OpenWithDesktop(const std::u16string& path) = 0;

    // The camera recording's state, kept by the window as long as it lives.
    Recording& recording() { return recording_; }
    // The last clip (MP3 or WAV) an operation made or converted in this run,
    // which the play-on-camera button plays; empty until there is one.
    std::string& lastClip() { return lastClip_; }

private:
    Recording recording_;
    std::string lastClip_;
};

}  // namespace tesvano
