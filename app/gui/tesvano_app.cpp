#include "app/gui/tesvano_app.h"

#include <QApplication>
#include <QProxyStyle>

#include "app/gui/app_icon.h"
#include "operations/network_check.h"
#include "app/gui/tesvano_dlg.h"
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

}  // namespace

int CTesvanoApp::Run(int argc, char** argv) {
    InitLocaleFromEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(new TesvanoStyle);
    QApplication::setApplicationName(QStringLiteral("Tesvano"));
    QApplication::setWindowIcon(AppIcon());
    CTesvanoDlg dlg(NetworkCheckUrl());
    dlg.exec();
    return 0;
}

}  // namespace tesvano
