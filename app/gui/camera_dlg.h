// The camera dialog: the source address, user and password apart (the
// password as dots), a test of the stream and Save.
#pragma once

#include <QDialog>

#include "operations/camera_settings.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tesvano {

class CCameraDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCameraDlg(const CameraSourceParts& parts, QWidget* parent = nullptr);

    CameraSourceParts parts() const;
    // What the last test said (also shown in the dialog).
    QString testReport() const;

private:
    // Runs `test` on a thread of its own: the camera may take seconds, the
    // dialog stays responsive, and one closed meanwhile never sees the answer.
    void RunTest(bool (*test)(const std::string& source, std::string* report));
    void OnTestDone(bool ok, const QString& report);

    QLineEdit* address_;
    QLineEdit* user_;
    QLineEdit* password_;
    QPushButton* test_;
    QPushButton* speaker_;
    QLabel* result_;
};

}  // namespace tesvano
