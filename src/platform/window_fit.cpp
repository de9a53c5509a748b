#include "platform/window_fit.h"

#include <QScreen>
#include <QWindow>

#if defined(VANTREL_HAVE_QPA)
#include <qpa/qplatformscreen.h>
#include <qpa/qplatformwindow.h>
#endif

void FitWindowToScreen(QWindow* window) {
#if defined(VANTREL_HAVE_QPA)
    if (!window || !window->screen()) return;
    QPlatformWindow* platformWindow = window->handle();
    const QPlatformScreen* platformScreen = window->screen()->handle();
    if (!platformWindow || !platformScreen) return;
    // Both in the platform's native pixels: no rounding on the way.
    if (platformWindow->geometry() != platformScreen->geometry()) platformWindow->setGeometry(platformScreen->geometry());
#else
    (void)window;
#endif
}
