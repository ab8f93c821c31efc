#include "TrustCtl.h"

#include "ui_TrustCtl.h"

#include <QDateTime>
#include <QHeaderView>
#include <QPushButton>

TrustCtl::TrustCtl(QWidget* parent) : WindowCtl(parent), ui(std::make_unique<Ui::TrustCtl>())
{
    ui->setupUi(this);
    QHeaderView* header = ui->deviceList->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(ui->approveBox, &QCheckBox::toggled, this, [](bool on) { Config::setApproveDevices(on); });
    connect(&refresh, &QTimer::timeout, this, &TrustCtl::reloadData);
    refresh.start(kRefreshMs);
    showDevices(Config::trustedDevices());
    reloadData();
}

TrustCtl::~TrustCtl() = default;

void TrustCtl::reloadData()
{
    const QSignalBlocker quiet(ui->approveBox);
    ui->approveBox->setChecked(Config::isApproveDevices());
    const std::vector<TrustedDevice> devices = Config::trustedDevices();
    if (devices != shown)
        showDevices(devices);
}

void TrustCtl::showDevices(const std::vector<TrustedDevice>& devices)
{
    shown = devices;
    QTableWidget* list = ui->deviceList;
    list->setRowCount(static_cast<int>(devices.size()));
    for (int row = 0; row < static_cast<int>(devices.size()); ++row) {
        const TrustedDevice& device = devices[static_cast<size_t>(row)];
        const QDateTime approved = QDateTime::fromString(QString::fromStdString(device.approved), Qt::ISODate);
        const QString cells[3] = {
            device.name.empty() ? tr("未知设备") : QString::fromStdString(device.name),
            QString::fromStdString(device.address),
            approved.isValid() ? approved.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                               : QString::fromStdString(device.approved),
        };
        for (int column = 0; column < 3; ++column)
            list->setItem(row, column, new QTableWidgetItem(cells[column]));
        auto* remove = new QPushButton(tr("移除"));
        connect(remove, &QPushButton::clicked, this, [this, address = device.address] {
            Config::untrustDevice(address);
            // The list is redrawn once this button's click is over.
            QMetaObject::invokeMethod(this, &TrustCtl::reloadData, Qt::QueuedConnection);
        });
        list->setCellWidget(row, 3, remove);
    }
    list->setVisible(!devices.empty());
    ui->emptyLabel->setVisible(devices.empty());
}
