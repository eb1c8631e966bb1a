// The main window in Qt: the controls of the original dialog at their
// dialog-unit positions, kept by ID behind the window interface.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <map>
#include <string>

#include "operations/log_area.h"
#include "operations/network_check.h"
#include "operations/main_window.h"

class QWidget;

namespace tesvano {

class CTesvanoDlg : public QDialog, public IMainWindow {
    Q_OBJECT

public:
    // The network check runs against the given address with the given checks.
    explicit CTesvanoDlg(std::string networkCheckUrl, NetworkChecks checks = NetworkChecks::System(),
                         QWidget* parent = nullptr);
    ~CTesvanoDlg() override;

    // IMainWindow
    void SetItemText(int id, const std::u16string& text) override;
    std::u16string GetItemText(int id) const override;
    void AddComboItem(int id, const std::u16string& text, int32_t data, bool select) override;
    int GetComboSelectionData(int id) const override;
    bool GetComboSelectionText(int id, std::u16string* text) const override;
    bool HasControl(int id) const override { return controls_.count(id) != 0; }
    int GetTrackbarPos(int id) const override;
    void SetTrackbarRange(int id, int min, int max) override;
    void SetTrackbarPos(int id, int pos) override;
    void ShowControl(int id, bool show) override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void AppendLog(const std::u16string& text) override;
    void MessageBox(const std::u16string& text, const std::u16string& caption) override;
    bool ChooseFile(const std::u16string& title, const std::u16string& filter, std::u16string* path) override;
    bool ChooseFiles(const std::u16string& title, const std::u16string& filter,
                     std::vector<std::u16string>* paths) override;
    bool ChooseFolder(const std::u16string& title, const std::u16string& start, std::u16string* path) override;
    void OpenWithDesktop(const std::u16string& path) override;
    bool EditCameraSource(CameraSourceParts* parts) override;

    QWidget* control(int id) const;
    const LogArea& log() const { return log_; }
    void ShowAbout();

    // Tests drive the camera dialog from here once it is built (it then runs modally).
    std::function<void(class CCameraDlg& dialog)> cameraDialogHook;

    // Tests answer message boxes here instead of a modal box.
    std::function<void(const std::u16string& text, const std::u16string& caption)> messageBoxHook;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void done(int result) override;

private:
    void CreateControls();
    void OnInitDialog();
    void OnButton(int id);
    void OnNetworkStatusPosted(int reachable);
    void OnClose();
    QRect DialogUnits(int x, int y, int w, int h) const;
    QStringList RunFileDialog(const std::u16string& title, const std::u16string& filter, bool many);

    std::map<int, QWidget*> controls_;
    LogArea log_;
    std::string networkCheckUrl_;
    NetworkChecks networkChecks_;
    int baseX_ = 6, baseY_ = 12;
    bool closed_ = false;
    QString lastFolder_;  // where the last file was chosen, in this run
};

// The text broken into lines of at most `width` pixels in `font` (CJK text
// breaks between any two characters).
QString WrapToWidth(const QString& text, const QFont& font, int width);

// The About box: icon, title with version, and a credit line.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tesvano
