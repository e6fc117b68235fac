#include "app/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/DialogBuilder.h"
#include "platform/Gbk.h"

namespace {

QString FromGbk(const std::string& gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }

QMessageBox::Icon IconFor(unsigned type) {
  switch (type & 0xF0) {
    case mb::kIconError:
      return QMessageBox::Critical;
    case mb::kIconQuestion:
      return QMessageBox::Question;
    case mb::kIconWarning:
      return QMessageBox::Warning;
    case mb::kIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  // No parent: the box is application-modal on its own and never becomes a
  // child that the main window's layout would have to walk.
  QMessageBox box(IconFor(type), FromGbk(caption), FromGbk(text));
  box.setTextFormat(Qt::PlainText);
  box.setWindowIcon(LoadAppIcon());

  // The operators read Chinese button texts.
  QPushButton* yes = nullptr;
  QPushButton* cancel = nullptr;
  switch (type & 0x0F) {
    case mb::kYesNo:
      yes = box.addButton(QString::fromUtf8("是(&Y)"), QMessageBox::YesRole);
      box.addButton(QString::fromUtf8("否(&N)"), QMessageBox::NoRole);
      box.setDefaultButton(yes);
      break;
    case mb::kOkCancel:
      box.setDefaultButton(box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole));
      cancel = box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
      box.setEscapeButton(cancel);
      break;
    default:
      box.setDefaultButton(box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole));
      break;
  }
  box.exec();

  const auto* clicked = box.clickedButton();
  switch (type & 0x0F) {
    case mb::kYesNo:
      return clicked == yes && yes != nullptr ? dlgid::kYes : dlgid::kNo;
    case mb::kOkCancel:
      return clicked == nullptr || clicked == cancel ? dlgid::kCancel : dlgid::kOk;
    default:
      return dlgid::kOk;
  }
}
