#include "app/gui/camera_dlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <thread>

#include "i18n/language_table.h"

namespace tesvano {
namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
CLanguageTable& Texts() { return CLanguageTable::Instance(); }

}  // namespace

CCameraDlg::CCameraDlg(const CameraSourceParts& parts, QWidget* parent) : QDialog(parent) {
    setWindowTitle(Q(Texts().GetText("CAMERA_SETTINGS")).remove(QStringLiteral("...")).remove(QChar(0x2026)));
    address_ = new QLineEdit(QString::fromStdString(parts.address), this);
    address_->setPlaceholderText(QStringLiteral("rtsp://192.0.2.10:554/stream1"));
    address_->setMinimumWidth(420);
    user_ = new QLineEdit(QString::fromStdString(parts.user), this);
    password_ = new QLineEdit(QString::fromStdString(parts.password), this);
    password_->setEchoMode(QLineEdit::Password);
    address_->setObjectName(QStringLiteral("address"));
    user_->setObjectName(QStringLiteral("user"));
    password_->setObjectName(QStringLiteral("password"));

    auto* form = new QFormLayout;
    form->addRow(Q(Texts().GetText("CAMERA_ADDRESS")), address_);
    form->addRow(Q(Texts().GetText("CAMERA_USER")), user_);
    form->addRow(Q(Texts().GetText("CAMERA_PASSWORD")), password_);

    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("result"));
    result_->setWordWrap(true);
    result_->setTextFormat(Qt::PlainText);  // a camera's text is shown, never interpreted

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    test_ = buttons->addButton(Q(Texts().GetText("CAMERA_TEST")), QDialogButtonBox::ActionRole);
    test_->setObjectName(QStringLiteral("test"));
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("save"));
    connect(test_, &QPushButton::clicked, this, [this] { RunTest(TestCameraSource); });
    speaker_ = buttons->addButton(Q(Texts().GetText("CAMERA_TEST_SPEAKER")), QDialogButtonBox::ActionRole);
    speaker_->setObjectName(QStringLiteral("speaker"));
    connect(speaker_, &QPushButton::clicked, this, [this] { RunTest(TestCameraSpeaker); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(result_);
    layout->addWidget(buttons);
}

CameraSourceParts CCameraDlg::parts() const {
    return {address_->text().trimmed().toStdString(), user_->text().toStdString(), password_->text().toStdString()};
}

QString CCameraDlg::testReport() const { return result_->text(); }

void CCameraDlg::RunTest(bool (*test)(const std::string& source, std::string* report)) {
    test_->setEnabled(false);
    speaker_->setEnabled(false);
    result_->setText(Q(Texts().GetText("CAMERA_TESTING")));
    QPointer<CCameraDlg> self(this);
    const std::string source = JoinCameraSource(parts());
    try {
        std::thread([self, source, test] {
            std::string report;
            bool ok = false;
            try {
                ok = test(source, &report);
            } catch (const std::exception& e) {
                report = e.what();
            }
            QCoreApplication* app = QCoreApplication::instance();
            if (!app) return;
            QMetaObject::invokeMethod(
                app,
                [self, ok, text = QString::fromStdString(report)] {
                    if (self) self->OnTestDone(ok, text);
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (const std::exception& e) {
        OnTestDone(false, QString::fromUtf8(e.what()));
    }
}

void CCameraDlg::OnTestDone(bool ok, const QString& report) {
    test_->setEnabled(true);
    speaker_->setEnabled(true);
    result_->setText((ok ? QString() : Q(Texts().GetText("FAILED")) + QStringLiteral(": ")) + report);
}

}  // namespace tesvano
