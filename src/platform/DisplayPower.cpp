#include "DisplayPower.h"

#include "X11Display.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

bool DisplayPower::wake()
{
    return X11Display::instance().With([](Display* d) {
        XResetScreenSaver(d);
        int eventBase = 0, errorBase = 0;
        if (DPMSQueryExtension(d, &eventBase, &errorBase) && DPMSCapable(d))
            DPMSForceLevel(d, DPMSModeOn);
        XSync(d, False);
    });
}
