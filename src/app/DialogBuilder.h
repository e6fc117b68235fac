// DialogBuilder - turns a template table into a Qt dialog: caption, window
// buttons, font and client size, then one widget per control at its pixel
// rectangle, in template order (Qt's creation order is the tab and z-order).
#ifndef BRENNA_APP_DIALOGBUILDER_H
#define BRENNA_APP_DIALOGBUILDER_H

#include <QIcon>
#include <QPixmap>

#include "app/DialogTemplate.h"
#include "app/Templates.h"

class QDialog;
class QWidget;

// Caption, window-frame buttons, modality, template font and client size.
void ApplyDialogTemplate(QDialog* dlg, const DlgTemplate& tpl);

// The template's font: its face at its point size on the 96-dpi grid the
// dialog units are computed on.
QFont DialogTemplateFont(const DlgTemplate& tpl);

// Places one control in `parent`. `bound` is the widget a member of the
// dialog supplies for the control (it takes the control's text, rectangle,
// state and identifier); without one a plain widget of the control's kind is
// created and owned by `parent`. Returns the placed widget.
QWidget* CreateDlgControl(QWidget* parent, const DlgControl& ctl, QWidget* bound);

// The control identifier CreateDlgControl gave the widget; IDC_STATIC for
// widgets that have none.
int GetDlgCtrlID(const QWidget* widget);

// Icon 128 as a Qt picture / icon.
QPixmap IconPixmap(const IconImage& image);
QIcon LoadAppIcon();

#endif  // BRENNA_APP_DIALOGBUILDER_H
