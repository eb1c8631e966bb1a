#include "app/gui/tesvano_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QHeaderView>
#include <QFileInfo>
#include <QGridLayout>
#include <exception>

#include "app/gui/app_icon.h"
#include "app/gui/camera_dlg.h"
#include "operations/network_check.h"
#include "operations/buttons.h"
#include "operations/record.h"
#include "operations/settings.h"
#include "operations/window_setup.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {
namespace {

constexpr char kAboutMenuText[] = "关于(&A)...";
// The controls sit 14 units higher than in the original template, whose
// text box began under an empty band of 14 units.
constexpr int kBandRemoved = 14;
// A column at the right holds this edition's camera buttons.
constexpr int kExtraColumn = 62;
constexpr int kDialogWidth = 462 + kExtraColumn, kDialogHeight = 346 - kBandRemoved;

enum class Kind { Button, Combo, HiddenCombo, Label, Edit, ReadOnlyEdit, TextEdit, Log, Slider, Check };

struct ControlSpec {
    int id;
    Kind kind;
    int x, y, w, h;
    const char* templateText;
};

// Positions in dialog units, as in the original dialog template.
constexpr ControlSpec kControls[] = {
    {IDC_TEXT, Kind::TextEdit, 7, 21, 446 + kExtraColumn, 36, ""},
    {IDC_GENERATE_MP3, Kind::Button, 215, 63, 51, 14, ""},
    {IDC_VOICE, Kind::Combo, 7, 63, 201, 14, ""},
    {IDC_GENERATE_WAV, Kind::Button, 277, 63, 51, 14, ""},
    {IDC_RECORD, Kind::Button, 339, 63, 51, 14, ""},
    {IDC_MP3_TO_WAV, Kind::Button, 401, 63, 51, 14, "MP3->WAV"},
    {IDC_MUSIC_LABEL, Kind::Label, 7, 83, 68, 8, ""},
    {IDC_MUSIC, Kind::Combo, 80, 83, 128, 14, ""},
    {IDC_GENERATE_PCM, Kind::Button, 215, 81, 76, 14, ""},
    {IDC_CONVERT, Kind::Button, 295, 81, 76, 14, ""},
    {IDC_BATCH_CONVERT, Kind::Button, 377, 81, 76, 14, ""},
    {IDC_MODE_LABEL, Kind::Label, 7, 102, 68, 8, ""},
    {IDC_OVERLAY, Kind::Combo, 80, 102, 128, 14, ""},
    {IDC_VOLUME_LABEL, Kind::Label, 224, 102, 33, 8, ""},
    // Slider and value are narrower than in the original, to make room for 1021.
    {IDC_VOLUME, Kind::Slider, 269, 102, 76, 15, ""},
    {IDC_VOLUME_VALUE, Kind::ReadOnlyEdit, 351, 102, 28, 12, ""},
    {IDC_RATE, Kind::HiddenCombo, 380, 103, 75, 14, ""},
    {IDC_FIT, Kind::Check, 385, 102, 68, 12, ""},  // this edition's: MP3s kept within a camera's limit
    {IDC_LOG, Kind::Log, 7, 122, 446 + kExtraColumn, 197, ""},
    {IDC_SELECT_DIR, Kind::Button, 7, 325, 69, 14, ""},
    {IDC_SAVE_DIR, Kind::ReadOnlyEdit, 82, 325, 296 + kExtraColumn, 14, ""},
    {IDC_OPEN_DIR, Kind::Button, 384 + kExtraColumn, 325, 69, 14, ""},
    {IDC_CAMERA, Kind::Button, 401 + kExtraColumn, 63, 51, 14, ""},
    {IDC_PLAY_ON_CAMERA, Kind::Button, 401 + kExtraColumn, 81, 51, 14, ""},  // the last clip on the camera
};

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string U(const QString& s) { return s.toStdU16String(); }

// No exception may leave a Qt event handler: report it in the log instead.
template <typename F>
void Guarded(CTesvanoDlg* dlg, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        dlg->AppendLog(AnsiToWide(std::string("internal error: ") + e.what()));
    } catch (...) {
        dlg->AppendLog(u"internal error");
    }
}

constexpr int kToolTipWidth = 400, kToolTipMs = 2000;

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    return font;
}

}  // namespace

QString WrapToWidth(const QString& text, const QFont& font, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (paragraph.isEmpty()) lines << QString();
    }
    return lines.join(QLatin1Char('\n'));
}

CTesvanoDlg::CTesvanoDlg(std::string networkCheckUrl, NetworkChecks checks, QWidget* parent)
    : QDialog(parent), networkCheckUrl_(std::move(networkCheckUrl)), networkChecks_(std::move(checks)) {
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    QFontMetrics fm(font());
    // Windows' dialog base units: average width of the alphabet, font height.
    baseX_ = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    baseY_ = fm.height();
    setFixedSize(DialogUnits(0, 0, kDialogWidth, kDialogHeight).size());
    CreateControls();
    OnInitDialog();
}

CTesvanoDlg::~CTesvanoDlg() {
    qApp->removeEventFilter(this);
    OnClose();
}

QRect CTesvanoDlg::DialogUnits(int x, int y, int w, int h) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, w * baseX_ / 4, h * baseY_ / 8);
}

void CTesvanoDlg::CreateControls() {
    for (const auto& c : kControls) {
        QWidget* widget = nullptr;
        switch (c.kind) {
        case Kind::Button: {
            auto* b = new QPushButton(QString::fromUtf8(c.templateText), this);
            b->setAutoDefault(false);
            const int id = c.id;
            connect(b, &QPushButton::clicked, this, [this, id] { OnButton(id); });
            widget = b;
            break;
        }
        case Kind::Combo:
        case Kind::HiddenCombo: {
            auto* combo = new QComboBox(this);
            combo->setEditable(false);
            combo->setInsertPolicy(QComboBox::InsertAtBottom);
            if (c.id == IDC_OVERLAY)
                connect(combo, &QComboBox::currentIndexChanged, this,
                        [this] { Guarded(this, [this] { OnOverlayModeChanged(*this); }); });
            widget = combo;
            break;
        }
        case Kind::Label:
            widget = new QLabel(QString::fromUtf8(c.templateText), this);
            break;
        case Kind::Edit:
        case Kind::ReadOnlyEdit: {
            auto* e = new QLineEdit(this);
            e->setReadOnly(c.kind == Kind::ReadOnlyEdit);
            widget = e;
            break;
        }
        case Kind::TextEdit:
        case Kind::Log: {
            auto* e = new QPlainTextEdit(this);
            if (c.kind == Kind::Log) {
                e->setReadOnly(true);
                e->setLineWrapMode(QPlainTextEdit::NoWrap);
                e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            } else {
                e->setTabChangesFocus(true);
            }
            widget = e;
            break;
        }
        case Kind::Check:
            widget = new QCheckBox(this);
            break;
        case Kind::Slider: {
            auto* s = new QSlider(Qt::Horizontal, this);
            s->setTickPosition(QSlider::NoTicks);
            s->setPageStep(20);  // a fifth of the range, as a trackbar pages
            connect(s, &QSlider::valueChanged, this, [this] { Guarded(this, [this] { OnVolumeMoved(*this); }); });
            widget = s;
            break;
        }
        }
        widget->setObjectName(QString::number(c.id));
        widget->setGeometry(DialogUnits(c.x, c.y - kBandRemoved, c.w, c.h));
        if (c.kind == Kind::HiddenCombo) widget->hide();
        controls_[c.id] = widget;
    }
    // Enter and Escape never close the window nor reach a control.
    qApp->installEventFilter(this);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] { Guarded(this, [this] { ShowRecordingTime(*this); }); });
    clock->start(500);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CTesvanoDlg::ShowAbout);
}

void CTesvanoDlg::OnInitDialog() {
    auto& table = CLanguageTable::Instance();
    setWindowTitle(Q(MakeCaption()));
    FillControls(*this, /*markServerVoices=*/true);

    // Tooltips: blue on white, at most 400 pixels wide, gone after 2 s.
    for (int id : {IDC_GENERATE_MP3, IDC_RECORD}) {
        const QString tip = Q(table.GetText(id == IDC_GENERATE_MP3 ? "TIPS_TEXT_VOICE_CREATE" : "TIPS_RECORD"));
        control(id)->setToolTip(WrapToWidth(tip, QToolTip::font(), kToolTipWidth));
        control(id)->setToolTipDuration(kToolTipMs);
    }
    setStyleSheet(QStringLiteral("QToolTip { color: #0000ff; background-color: #ffffff; border: 1px solid #808080; }"));

    AppendLog(table.GetText("TIPS_NETWORK"));
    QPointer<CTesvanoDlg> self(this);
    const bool started = StartNetworkCheck(networkCheckUrl_, networkChecks_, [self](int reachable) {
        // Runs on the worker: queue the result to the window's thread; a
        // window that is gone by then never sees it.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [self, reachable] {
                if (self) self->OnNetworkStatusPosted(reachable);
            },
            Qt::QueuedConnection);
    });
    AppendLog(table.GetText("START_NETWORK_CHECK") + u":" + table.GetText(started ? "SUCCESS" : "FAILED"));
    SetControlLabels(*this);
    control(IDC_PLAY_ON_CAMERA)->setEnabled(false);
}

void CTesvanoDlg::OnButton(int id) {
    Guarded(this, [&] { RunButton(*this, id); });
    control(IDC_PLAY_ON_CAMERA)->setEnabled(!lastClip().empty());  // nothing to play until a clip is made
}

void CTesvanoDlg::OnNetworkStatusPosted(int reachable) {
    Guarded(this, [&] { OnNetworkStatus(*this, reachable); });
}

QWidget* CTesvanoDlg::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CTesvanoDlg::SetItemText(int id, const std::u16string& text) {
    QWidget* w = control(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(Q(text));
    else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(Q(text));
    else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(Q(text));
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->setPlainText(Q(text));
}

std::u16string CTesvanoDlg::GetItemText(int id) const {
    QWidget* w = control(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return U(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return U(l->text());
    if (auto* e = qobject_cast<QLineEdit*>(w)) return U(e->text());
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        // As typed: toPlainText() would turn a no-break space into a blank and
        // U+2028 into a line break; only the block separator is a line break.
        QString raw = p->document()->toRawText();
        raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return U(raw);
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) return U(c->currentText());
    return {};
}

void CTesvanoDlg::AddComboItem(int id, const std::u16string& text, int32_t itemData, bool select) {
    auto* c = qobject_cast<QComboBox*>(control(id));
    if (!c) return;
    c->addItem(Q(text), QVariant(itemData));
    if (select) c->setCurrentIndex(c->count() - 1);
    else if (c->count() == 1) c->setCurrentIndex(-1);  // Qt selects a first entry by itself
}

int CTesvanoDlg::GetComboSelectionData(int id) const {
    auto* c = qobject_cast<QComboBox*>(control(id));
    if (!c || c->currentIndex() < 0) return 0;
    return c->currentData().toInt();
}

bool CTesvanoDlg::GetComboSelectionText(int id, std::u16string* text) const {
    auto* c = qobject_cast<QComboBox*>(control(id));
    if (!c || c->currentIndex() < 0) return false;
    *text = U(c->currentText());
    return true;
}

int CTesvanoDlg::GetTrackbarPos(int id) const {
    auto* s = qobject_cast<QSlider*>(control(id));
    return s ? s->value() : 0;
}

void CTesvanoDlg::SetTrackbarRange(int id, int min, int max) {
    if (auto* s = qobject_cast<QSlider*>(control(id))) {
        QSignalBlocker quiet(s);
        s->setRange(min, max);
    }
}

void CTesvanoDlg::SetTrackbarPos(int id, int pos) {
    if (auto* s = qobject_cast<QSlider*>(control(id))) {
        QSignalBlocker quiet(s);  // setting it is not the operator moving it
        s->setValue(pos);
    }
}

bool CTesvanoDlg::IsChecked(int id) const {
    auto* box = qobject_cast<QCheckBox*>(control(id));
    return box && box->isChecked();
}

void CTesvanoDlg::SetChecked(int id, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(control(id))) box->setChecked(checked);
}

void CTesvanoDlg::ShowControl(int id, bool show) {
    if (QWidget* w = control(id)) w->setVisible(show);
}

void CTesvanoDlg::AppendLog(const std::u16string& text) {
    log_.Append(text);
    auto* area = qobject_cast<QPlainTextEdit*>(control(IDC_LOG));
    if (!area) return;
    area->setPlainText(Q(log_.DisplayText()));
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    // Operations run on this thread; paint now so a long batch shows its progress.
    area->viewport()->repaint();
}

void CTesvanoDlg::MessageBox(const std::u16string& text, const std::u16string& caption) {
    if (messageBoxHook) {
        messageBoxHook(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, this);
    box.exec();
}

QStringList CTesvanoDlg::RunFileDialog(const std::u16string& title, const std::u16string& filter, bool many) {
    QFileDialog dialog(this, Q(title), lastFolder_, Q(filter));
    dialog.setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 460)));
    // Qt's own dialog gives the size and date columns too little room ("315...KiB").
    if (auto* tree = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty()) lastFolder_ = QFileInfo(chosen.front()).absolutePath();
    return chosen;
}

bool CTesvanoDlg::ChooseFile(const std::u16string& title, const std::u16string& filter, std::u16string* path) {
    const QStringList chosen = RunFileDialog(title, filter, false);
    if (chosen.isEmpty()) return false;
    *path = U(chosen.front());
    return true;
}

bool CTesvanoDlg::ChooseFiles(const std::u16string& title, const std::u16string& filter,
                              std::vector<std::u16string>* paths) {
    const QStringList chosen = RunFileDialog(title, filter, true);
    paths->clear();
    for (const auto& p : chosen) paths->push_back(U(p));
    return !paths->empty();
}

bool CTesvanoDlg::ChooseFolder(const std::u16string& title, const std::u16string& start, std::u16string* path) {
    QString chosen = QFileDialog::getExistingDirectory(this, Q(title), Q(start));
    if (chosen.isEmpty()) return false;
    *path = U(chosen);
    return true;
}

bool CTesvanoDlg::EditCameraSource(CameraSourceParts* parts) {
    CCameraDlg dialog(*parts, this);
    if (cameraDialogHook) cameraDialogHook(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    *parts = dialog.parts();
    return true;
}

void CTesvanoDlg::OpenWithDesktop(const std::u16string& path) { tesvano::OpenWithDesktop(WideToAnsi(path)); }

bool CTesvanoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && (w == this || isAncestorOf(w))) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTesvanoDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutMenuText), this, &CTesvanoDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CTesvanoDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

// Stops what must not outlive the window, however the dialog ends.
void CTesvanoDlg::OnClose() {
    if (closed_) return;
    closed_ = true;
    CloseRecording(*this);  // a recording in progress is discarded
}

void CTesvanoDlg::closeEvent(QCloseEvent* event) {
    OnClose();
    QDialog::closeEvent(event);
}

void CTesvanoDlg::done(int result) {
    OnClose();
    QDialog::done(result);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    auto& table = CLanguageTable::Instance();
    setWindowTitle(Q(table.GetText("TITLE")));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    auto* version = new QLabel(Q(table.GetText("TITLE")) + QStringLiteral(" ") + QString::fromUtf8(kVersion), this);
    version->setObjectName(QStringLiteral("1016"));
    auto* credit = new QLabel(QStringLiteral("Copyright (C) 2025 the Tesvano developers. GPL-3.0-or-later."), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(version, 0, 1);
    layout->addWidget(credit, 1, 1);
    layout->addWidget(ok, 0, 2);
}

}  // namespace tesvano
