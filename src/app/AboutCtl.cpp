#include "AboutCtl.h"

#include "ui_AboutCtl.h"

AboutCtl::AboutCtl(QWidget* parent) : WindowCtl(parent), ui(std::make_unique<Ui::AboutCtl>())
{
    ui->setupUi(this);
    windowDidLoad();
}

AboutCtl::~AboutCtl() = default;

void AboutCtl::windowDidLoad()
{
    ui->versionLabel->setText(tr("版本 %1").arg(QStringLiteral(CORVANE_VERSION)));
}
