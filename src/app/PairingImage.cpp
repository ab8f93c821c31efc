#include "PairingImage.h"

#include "HostAddresses.h"
#include "PairingCode.h"
#include "QRImage.h"

#include <QImageWriter>
#include <QSaveFile>

bool PairingImage::WritePng(const std::string& path, std::string& error, int dimension)
{
    const std::string payload = HostAddresses::pairingPayload();
    if (payload.empty()) {
        error = tr("no IPv4 address a phone can reach (only loopback or IPv6), so there is no pairing code")
                    .toStdString();
        return false;
    }
    const std::unique_ptr<DataMatrix> matrix = PairingCode::Matrix(payload);
    const QImage image = matrix ? QRImage::renderWithQuietZone(*matrix, dimension) : QImage();
    if (image.isNull()) {
        error = tr("the addresses of this computer do not fit in a %1-pixel QR code").arg(dimension).toStdString();
        return false;
    }
    // Written beside the target and renamed into place when complete.
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly)) {
        QImageWriter writer(&file, "png");
        if (writer.write(image) && file.commit())
            return true;
        file.cancelWriting();
    }
    error = tr("cannot write %1: %2").arg(QString::fromStdString(path), file.errorString()).toStdString();
    return false;
}
