#include "app/gui/camera_dlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <memory>
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

    // Cameras nearby: found by a probe, or an address typed for one on
    // another network; asked for its stream with the user and password below.
    found_ = new QComboBox(this);
    found_->setEditable(true);
    found_->setObjectName(QStringLiteral("found"));
    found_->lineEdit()->setPlaceholderText(QStringLiteral("192.0.2.10"));
    find_ = new QPushButton(Q(Texts().GetText("CAMERA_FIND")), this);
    find_->setObjectName(QStringLiteral("find"));
    ask_ = new QPushButton(Q(Texts().GetText("CAMERA_ASK_ADDRESS")), this);
    ask_->setObjectName(QStringLiteral("ask"));
    auto* nearby = new QHBoxLayout;
    nearby->addWidget(find_);
    nearby->addWidget(found_, 1);
    nearby->addWidget(ask_);

    auto* form = new QFormLayout;
    form->addRow(Q(Texts().GetText("CAMERA_NEARBY")), nearby);
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
    speaker_ = buttons->addButton(Q(Texts().GetText("CAMERA_TEST_SPEAKER")), QDialogButtonBox::ActionRole);
    speaker_->setObjectName(QStringLiteral("speaker"));
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("save"));
    const QString testing = Q(Texts().GetText("CAMERA_TESTING"));
    connect(test_, &QPushButton::clicked, this, [this, testing] {
        RunInBackground(testing, [source = JoinCameraSource(this->parts())](std::string* report) {
            return TestCameraSource(source, report);
        });
    });
    connect(speaker_, &QPushButton::clicked, this, [this, testing] {
        RunInBackground(testing, [source = JoinCameraSource(this->parts())](std::string* report) {
            return TestCameraSpeaker(source, report);
        });
    });
    connect(find_, &QPushButton::clicked, this, [this] {
        // Each search fills its own list; the dialog takes it once done.
        auto found = std::make_shared<std::vector<FoundCameraEntry>>();
        RunInBackground(
            Q(Texts().GetText("CAMERA_FINDING")),
            [found](std::string* report) {
                if (!FindCamerasNearby(found.get(), report)) return false;
                *report = std::to_string(found->size());
                return true;
            },
            [this, found](bool ok) {
                if (!ok) return;
                cameras_ = std::move(*found);
                found_->clear();
                for (const auto& c : cameras_) found_->addItem(QString::fromStdString(c.label));
                result_->setText(Q(Texts().GetText("CAMERA_FOUND")) + result_->text());
            });
    });
    connect(ask_, &QPushButton::clicked, this, [this] {
        // A found camera by its entry, else what was typed.
        const int index = found_->currentIndex();
        std::string device = found_->currentText().trimmed().toStdString();
        if (index >= 0 && static_cast<size_t>(index) < cameras_.size() &&
            found_->itemText(index) == found_->currentText())
            device = cameras_[static_cast<size_t>(index)].device;
        struct Answer {
            std::string address;
            int speakers = -1;
        };
        auto answer = std::make_shared<Answer>();
        RunInBackground(
            Q(Texts().GetText("CAMERA_ASKING")),
            [device, user = user_->text().toStdString(), password = password_->text().toStdString(),
             answer](std::string* report) {
                return AskCameraAddress(device, user, password, &answer->address, &answer->speakers, report);
            },
            [this, answer](bool ok) {
                if (!ok) return;
                address_->setText(QString::fromStdString(answer->address));
                speakers_ = answer->speakers;
                speaker_->setEnabled(speakers_ != 0);  // a camera that says it has none
            });
    });
    connect(address_, &QLineEdit::textEdited, this, [this] {
        speakers_ = -1;  // another camera: its speaker is not known
        speaker_->setEnabled(find_->isEnabled());
    });
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

void CCameraDlg::SetBusy(bool busy) {
    for (QPushButton* b : {find_, ask_, test_}) b->setEnabled(!busy);
    speaker_->setEnabled(!busy && speakers_ != 0);
}

void CCameraDlg::RunInBackground(const QString& waiting, Work work, std::function<void(bool ok)> done) {
    SetBusy(true);
    result_->setText(waiting);
    QPointer<CCameraDlg> self(this);
    try {
        std::thread([self, work = std::move(work), done = std::move(done)] {
            std::string report;
            bool ok = false;
            try {
                ok = work(&report);
            } catch (const std::exception& e) {
                report = e.what();
            }
            QCoreApplication* app = QCoreApplication::instance();
            if (!app) return;
            QMetaObject::invokeMethod(
                app,
                [self, ok, text = QString::fromStdString(report), done] {
                    if (self) self->OnWorkDone(ok, text, done);
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (const std::exception& e) {
        OnWorkDone(false, QString::fromUtf8(e.what()), {});
    }
}

void CCameraDlg::OnWorkDone(bool ok, const QString& report, const std::function<void(bool)>& done) {
    SetBusy(false);
    result_->setText((ok ? QString() : Q(Texts().GetText("FAILED")) + QStringLiteral(": ")) + report);
    if (done) done(ok);
}

}  // namespace tesvano
