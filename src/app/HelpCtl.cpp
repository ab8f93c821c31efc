#include "HelpCtl.h"

#include "ui_HelpCtl.h"

#include <QLayout>
#include <QScrollBar>
#include <algorithm>

HelpCtl::HelpCtl(int tcpPort, int udpPort, QWidget* parent) : WindowCtl(parent), ui(std::make_unique<Ui::HelpCtl>())
{
    ui->setupUi(this);
    windowDidLoad(tcpPort, udpPort);
}

HelpCtl::~HelpCtl() = default;

void HelpCtl::windowDidLoad(int tcpPort, int udpPort)
{
    for (QLabel* ports : {ui->networkText, ui->faqAnswer1})
        ports->setText(ports->text().arg(tcpPort).arg(udpPort));
    ui->tf0_->setText(tr("Corvane在这里"));
    ui->tf1_->setText(tr("手机怎么控制我的电脑?"));
    ui->tf2_->setText(tr("1、使用您的iPhone去App Store下载Corvane"));
    ui->tf3_->setText(tr("2、您的手机与电脑在同一个Wifi中"));
    ui->tf4_->setText(tr("3、打开Corvane，然后点击自动开始按扭或输入IP地址"));
    ui->tf5_->setText(tr("或"));
    ui->tf6_->setText(tr("自动搜索"));
    ui->tf7_->setText(tr("输入IP地址"));
    ui->tf8_->setText(tr("手机能控制什么?"));
    ui->tf9_->setText(tr("1、移动鼠标，模拟输入等等..."));
    ui->tf10_->setText(tr("2、下载/上传文件，播放音乐/视频等等..."));
    // The page keeps its width and grows with its texts: their height
    // depends on the user's fonts (Noto CJK sets Chinese lines taller than
    // the layout was drawn with). The labels' style sheets take effect once
    // they are polished, so that comes first.
    ensurePolished();
    QLayout* page = ui->documentView->layout();
    page->invalidate();
    page->activate();
    const int needed = page->totalHeightForWidth(kPageWidth);
    ui->documentView->setFixedSize(kPageWidth, std::max(kPageHeight, needed));
    ui->scrollView_->verticalScrollBar()->setValue(0);
    // The page is exactly as wide as the view; room for the scroll bar.
    const int frame = ui->scrollView_->frameWidth() * 2;
    ui->scrollView_->setMinimumWidth(kPageWidth + frame + ui->scrollView_->verticalScrollBar()->sizeHint().width());
}
