#pragma once

#include "LaunchOptions.h"

#include <QCoreApplication>

// `corvane --trust ADDR`, `--untrust ADDR` and `--trusted`: change or show
// the trusted devices in the settings file and exit. A running Corvane
// follows the change at once, without a restart.
class TrustCommand {
    Q_DECLARE_TR_FUNCTIONS(TrustCommand)

public:
    TrustCommand() = delete;

    // Carries out the options' trust action, prints its outcome on standard
    // output in the user's language and returns the exit status: 0, or 1
    // when --untrust finds no such device.
    static int Run(const LaunchOptions& options);
};
