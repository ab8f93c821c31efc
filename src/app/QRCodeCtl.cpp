#include "QRCodeCtl.h"

#include "Alerts.h"
#include "HostAddresses.h"
#include "Log.h"
#include "QREncoder.h"
#include "QRImage.h"
#include "SConfig.h"
#include "ui_QRCodeCtl.h"

namespace {
constexpr int kLevelL = 0;
constexpr int kSmallestVersion = -1;
} // namespace

QRCodeCtl::QRCodeCtl(AddressSource addressSource, QWidget* parent)
    : WindowCtl(parent), ui(std::make_unique<Ui::QRCodeCtl>()),
      addresses(addressSource ? std::move(addressSource) : AddressSource(&HostAddresses::all))
{
    ui->setupUi(this);
    windowDidLoad();
}

QRCodeCtl::~QRCodeCtl() = default;

void QRCodeCtl::windowDidLoad()
{
    ui->promptTf->setText(tr("使用手机进行扫码连接"));
}

QString QRCodeCtl::getIPStr(const std::vector<std::string>& hostAddresses)
{
    QString payload;
    for (const std::string& address : hostAddresses) {
        if (HostAddresses::qualifies(address))
            payload += QString::fromStdString(address) + QLatin1String(SConfig::kFieldSep);
    }
    return payload;
}

QString QRCodeCtl::getIPStr()
{
    return getIPStr(HostAddresses::all());
}

bool QRCodeCtl::updateQRImg()
{
    const QString payload = getIPStr(addresses());
    if (payload.isEmpty()) {
        Alerts::instance().show(tr("获取二维码失败！"), tr("无法获取您的IP地址"), tr("确定"));
        return false;
    }
    const std::unique_ptr<DataMatrix> matrix = QREncoder::encodeWithECLevel(kLevelL, kSmallestVersion, payload);
    // Opaque, with a white quiet zone of four modules at least, so phones
    // read it on dark themes as well as light ones.
    const QImage image = matrix ? QRImage::renderWithQuietZone(*matrix, kImageDimension) : QImage();
    if (image.isNull()) {
        Log::Printf("make qrcode matrix failed\n");
        Alerts::instance().show(tr("获取二维码失败！"), tr("请与我们联系"), tr("确定"));
        return false;
    }
    ui->imgView->setPixmap(QPixmap::fromImage(image));
    return true;
}
