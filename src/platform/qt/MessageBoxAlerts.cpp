#include "MessageBoxAlerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

void MessageBoxAlerts::show(const QString& message, const QString& informativeText, const QString& button)
{
    QMessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::ApplicationModal);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        box.setIconPixmap(icon.pixmap(64, 64));
    box.setText(message);
    box.setInformativeText(informativeText);
    QPushButton* only = box.addButton(button, QMessageBox::AcceptRole);
    box.setDefaultButton(only);
    box.setEscapeButton(only);
    box.exec();
}
