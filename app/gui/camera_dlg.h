// The camera dialog: the source address, user and password apart (the
// password as dots), finding ONVIF cameras nearby, a test of the stream and
// of the speaker, and Save.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "operations/camera_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tesvano {

class CCameraDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCameraDlg(const CameraSourceParts& parts, QWidget* parent = nullptr);

    CameraSourceParts parts() const;
    // What the last test or question said (also shown in the dialog).
    QString testReport() const;

private:
    // Runs `work` on a thread of its own, the buttons disabled meanwhile: a
    // camera may take seconds, the dialog stays responsive, and one closed
    // meanwhile never sees the answer. `done` runs on the window's thread.
    using Work = std::function<bool(std::string* report)>;
    void RunInBackground(const QString& waiting, Work work, std::function<void(bool ok)> done = {});
    void OnWorkDone(bool ok, const QString& report, const std::function<void(bool)>& done);
    void SetBusy(bool busy);

    QLineEdit* address_;
    QLineEdit* user_;
    QLineEdit* password_;
    QComboBox* found_;
    QPushButton* find_;
    QPushButton* ask_;
    QPushButton* test_;
    QPushButton* speaker_;
    QLabel* result_;
    // Only on the window's thread: what the last search found, and the
    // asked camera's audio outputs (-1: not known).
    std::vector<FoundCameraEntry> cameras_;
    int speakers_ = -1;
};

}  // namespace tesvano
