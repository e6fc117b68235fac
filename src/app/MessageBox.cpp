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

// The buttons a box answers with.
struct BoxButtons {
  QPushButton* yes = nullptr;
  QPushButton* cancel = nullptr;
};

// Plain text, the program's icon and the buttons of `type`.
BoxButtons PrepareBox(QMessageBox& box, unsigned type) {
  box.setTextFormat(Qt::PlainText);
  box.setWindowIcon(LoadAppIcon());

  // The operators read Chinese button texts.
  BoxButtons buttons;
  switch (type & 0x0F) {
    case mb::kYesNo:
      buttons.yes = box.addButton(QString::fromUtf8("是(&Y)"), QMessageBox::YesRole);
      box.addButton(QString::fromUtf8("否(&N)"), QMessageBox::NoRole);
      box.setDefaultButton(buttons.yes);
      break;
    case mb::kOkCancel:
      box.setDefaultButton(box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole));
      buttons.cancel = box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
      box.setEscapeButton(buttons.cancel);
      break;
    default:
      box.setDefaultButton(box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole));
      break;
  }
  return buttons;
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  // No parent: the box is application-modal on its own and never becomes a
  // child that the main window's layout would have to walk.
  QMessageBox box(IconFor(type), FromGbk(caption), FromGbk(text));
  const BoxButtons buttons = PrepareBox(box, type);
  box.exec();

  const auto* clicked = box.clickedButton();
  switch (type & 0x0F) {
    case mb::kYesNo:
      return clicked == buttons.yes && buttons.yes != nullptr ? dlgid::kYes : dlgid::kNo;
    case mb::kOkCancel:
      return clicked == nullptr || clicked == buttons.cancel ? dlgid::kCancel : dlgid::kOk;
    default:
      return dlgid::kOk;
  }
}

void ShowMessageBoxBeside(QWidget* owner, const std::string& text, const std::string& caption) {
  // A child window of the owner: a modal owner does not block it, the
  // window system keeps it above the owner, and it goes with the owner.
  auto* box = new QMessageBox(QMessageBox::NoIcon, FromGbk(caption), FromGbk(text),
                              QMessageBox::NoButton, owner);
  PrepareBox(*box, mb::kOk);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
}
