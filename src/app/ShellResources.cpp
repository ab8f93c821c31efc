#include "ShellResources.h"

#include <QtGlobal>

// Outside any namespace, as the registration function is global.
static bool RegisterShellResources()
{
    Q_INIT_RESOURCE(shell);
    return true;
}

void ShellResources::load()
{
    static const bool registered = RegisterShellResources();
    (void)registered;
}
