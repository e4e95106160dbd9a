// The yardstick of the desktop benchmark: a bare Qt Widgets dialog of two drop-down lists and a
// button, built with the same Qt as Setwright.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Bare"));
  auto* products = new QComboBox(&dialog);
  products->addItems({QStringLiteral("TV-520KBS"), QStringLiteral("MR-310SKB")});
  products->setGeometry(120, 20, 130, 24);
  auto* ports = new QComboBox(&dialog);
  ports->addItem(QStringLiteral("COM1"));
  ports->setGeometry(120, 60, 130, 24);
  auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
  ok->setGeometry(260, 58, 75, 26);
  dialog.resize(357, 110);
  return dialog.exec();
}
