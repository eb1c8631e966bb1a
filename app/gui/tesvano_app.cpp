#include "app/gui/tesvano_app.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "app/gui/app_icon.h"
#include "operations/network_check.h"
#include "app/gui/tesvano_dlg.h"
#include "i18n/language_table.h"
#include "platform/text.h"

namespace tesvano {
namespace {

// Tooltips appear after 200 ms.
class TesvanoStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) return 200;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// For the start-up benchmark (TESVANO_QUIT_AFTER_FIRST_FRAME=1): once the
// window's first frame is painted, says so on standard output and quits.
class FirstFrameReporter : public QObject {
public:
    explicit FirstFrameReporter(QDialog* dialog) : QObject(dialog), dialog_(dialog) { dialog->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            // Queued: it runs after this paint has been flushed to the screen.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    std::fputs("first frame\n", stdout);
                    std::fflush(stdout);
                    QCoreApplication::exit(0);  // also ends a message box's loop
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QDialog* dialog_;
    bool reported_ = false;
};

QString QtTranslationName(const std::u16string& languageCode) {
    if (languageCode == u"zh-cn") return QStringLiteral("qtbase_zh_CN");
    if (languageCode == u"zh-tw") return QStringLiteral("qtbase_zh_TW");
    if (languageCode == u"ko-ko") return QStringLiteral("qtbase_ko");
    if (languageCode == u"pl-pl") return QStringLiteral("qtbase_pl");
    return {};  // English needs none
}

}  // namespace

bool LoadQtTranslation(QTranslator& translator, const std::u16string& languageCode) {
    const QString name = QtTranslationName(languageCode);
    if (name.isEmpty() || !translator.load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
    return QCoreApplication::installTranslator(&translator);
}

int CTesvanoApp::Run(int argc, char** argv) {
    InitLocaleFromEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(new TesvanoStyle);
    QApplication::setApplicationName(QStringLiteral("Tesvano"));
    QApplication::setWindowIcon(AppIcon());
    // Qt's own dialogs (file choosers, message-box buttons) in the window's language.
    QTranslator qtTexts;
    LoadQtTranslation(qtTexts, CLanguageTable::Instance().GetLanguageCode());
    CTesvanoDlg dlg(NetworkCheckUrl());
    const char* quitAfterFirstFrame = std::getenv("TESVANO_QUIT_AFTER_FIRST_FRAME");
    if (quitAfterFirstFrame && *quitAfterFirstFrame == '1') new FirstFrameReporter(&dlg);
    dlg.exec();
    return 0;
}

}  // namespace tesvano
