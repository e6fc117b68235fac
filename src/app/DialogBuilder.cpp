#include "app/DialogBuilder.h"

#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>

#include "app/QtColor.h"
#include "panel/Resource.h"
#include "util/Colors.h"

namespace {

const char kCtrlIdProperty[] = "brennaCtrlId";

Qt::WindowFlags WindowFlagsFor(const DlgTemplate& tpl) {
  using namespace dlgstyle;
  // Application windows get a taskbar entry; the others are plain dialogs.
  Qt::WindowFlags flags = (tpl.exStyle & kExAppWindow) ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint;
  if ((tpl.style & kCaption) == kCaption) flags |= Qt::WindowTitleHint;
  if (tpl.style & kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (tpl.style & kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  if (tpl.style & kMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  return flags;
}

Qt::Alignment StaticAlignment(std::uint32_t style) {
  using namespace dlgstyle;
  Qt::Alignment align = (style & kStaticTypeMask) == kCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  // A single line, centred vertically.
  align |= (style & kCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
  return align;
}

// Edit fields sit on one line; the text is centred vertically like the
// window system's single-line edit.
Qt::Alignment EditAlignment(std::uint32_t style) {
  using namespace dlgstyle;
  return ((style & 0x3) == kCenter ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
}

QWidget* NewWidget(const DlgControl& ctl) {
  const QString text = QString::fromUtf8(ctl.text);
  switch (ctl.kind) {
    case ControlKind::GroupBox:
      return new QGroupBox(text);
    case ControlKind::Label:
    case ControlKind::VerdictPanel:
      return new QLabel;
    case ControlKind::CommandButton:
      return new QPushButton;
    case ControlKind::Icon:
      return new QLabel;
    case ControlKind::ValueDisplay:
      return new QWidget;
    case ControlKind::Edit:
      return new QLineEdit;
  }
  return new QWidget;
}

}  // namespace

QFont DialogTemplateFont(const DlgTemplate& tpl) {
  QFont font(QString::fromUtf8(tpl.fontFace));
  font.setPixelSize((tpl.fontPointSize * 96 + 36) / 72);
  return font;
}

void ApplyDialogTemplate(QDialog* dlg, const DlgTemplate& tpl) {
  dlg->setWindowFlags(WindowFlagsFor(tpl));
  dlg->setWindowTitle(QString::fromUtf8(tpl.caption));
  dlg->setModal(true);
  dlg->setFont(DialogTemplateFont(tpl));
  dlg->resize(DluToPixelsX(tpl.rect.cx), DluToPixelsY(tpl.rect.cy));
}

QWidget* CreateDlgControl(QWidget* parent, const DlgControl& ctl, QWidget* bound) {
  QWidget* widget = bound != nullptr ? bound : NewWidget(ctl);
  widget->setParent(parent);
  widget->setProperty(kCtrlIdProperty, ctl.id);

  const QString text = QString::fromUtf8(ctl.text);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (ctl.kind == ControlKind::Icon) {
      if (const IconImage* icon = LoadIconResource(ctl.image)) label->setPixmap(IconPixmap(*icon));
    } else {
      label->setTextFormat(Qt::PlainText);  // keeps the runs of blanks
      label->setText(text);
      label->setAlignment(StaticAlignment(ctl.style));
    }
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
    if ((ctl.style & 0xF) == dlgstyle::kDefPushButton) button->setDefault(true);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    // A line edit always scrolls sideways, which is what every edit field
    // of ours asks for (kAutoHScroll).
    edit->setText(text);
    edit->setAlignment(EditAlignment(ctl.style));
    edit->setFrame((ctl.style & dlgstyle::kBorder) != 0);
    // Tab reaches only tab stops; a click still gets into any enabled field.
    edit->setFocusPolicy((ctl.style & dlgstyle::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
  }

  CRect px = DluToPixels(ctl.rect);
  if (ctl.kind == ControlKind::Icon) {
    // An icon control takes the size of its icon.
    px.right = px.left + 32;
    px.bottom = px.top + 32;
  }
  widget->setGeometry(px.left, px.top, px.Width(), px.Height());
  widget->setEnabled((ctl.style & dlgstyle::kDisabled) == 0);
  widget->setVisible((ctl.style & dlgstyle::kVisible) != 0);
  return widget;
}

std::map<int, QWidget*> CreateDlgControls(QWidget* parent, const DlgTemplate& tpl,
                                          const DlgBindings& bindings) {
  std::map<int, QWidget*> controls;
  for (const DlgControl& ctl : tpl) {
    QWidget* bound = nullptr;
    if (ctl.id != IDC_STATIC) {
      for (const auto& binding : bindings) {
        if (binding.first == ctl.id) bound = binding.second;
      }
    }
    QWidget* widget = CreateDlgControl(parent, ctl, bound);
    if (ctl.id != IDC_STATIC) controls[ctl.id] = widget;
  }
  return controls;
}

void SetInitialDlgFocus(const DlgTemplate& tpl, const std::map<int, QWidget*>& controls) {
  for (const DlgControl& ctl : tpl) {
    if ((ctl.style & dlgstyle::kTabStop) == 0) continue;
    const auto it = controls.find(ctl.id);
    QWidget* widget = it == controls.end() ? nullptr : it->second;
    if (widget != nullptr && widget->isEnabled() && !widget->isHidden()) {
      widget->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

int GetDlgCtrlID(const QWidget* widget) {
  if (widget == nullptr) return IDC_STATIC;
  bool ok = false;
  const int id = widget->property(kCtrlIdProperty).toInt(&ok);
  return ok ? id : IDC_STATIC;
}

QPixmap IconPixmap(const IconImage& image) {
  QImage img(image.width, image.height, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      COLORREF c = 0;
      if (image.PixelColor(x, y, &c)) img.setPixel(x, y, ToQColor(c).rgb());
    }
  }
  return QPixmap::fromImage(img);
}

QIcon LoadAppIcon() {
  const IconImage* icon = LoadIconResource(IDR_MAINFRAME);
  return icon != nullptr ? QIcon(IconPixmap(*icon)) : QIcon();
}
