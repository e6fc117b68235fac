// DialogBuilder - turns a template table into a Qt dialog: caption, window
// buttons, font and client size, then one widget per control at its pixel
// rectangle, in template order (Qt's creation order is the tab and z-order).
#ifndef BRENNA_APP_DIALOGBUILDER_H
#define BRENNA_APP_DIALOGBUILDER_H

#include <QIcon>
#include <QPixmap>
#include <map>
#include <utility>
#include <vector>

#include "panel/DialogTemplate.h"
#include "panel/Templates.h"

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

// The members a dialog binds to its controls (DDX_Control), by control
// identifier, in binding order.
using DlgBindings = std::vector<std::pair<int, QWidget*>>;

// Places every control of the template in `parent`, in template order: a
// control with a binding takes the bound member, every other one a plain
// widget of its kind. Returns the placed widgets by control identifier;
// labels, group boxes and icons (IDC_STATIC) are left out.
std::map<int, QWidget*> CreateDlgControls(QWidget* parent, const DlgTemplate& tpl,
                                          const DlgBindings& bindings);

// Gives the keyboard focus to the first enabled, visible tab stop in
// template order, as a dialog does when it starts.
void SetInitialDlgFocus(const DlgTemplate& tpl, const std::map<int, QWidget*>& controls);

// The control identifier CreateDlgControl gave the widget; IDC_STATIC for
// widgets that have none.
int GetDlgCtrlID(const QWidget* widget);

// Icon 128 as a Qt picture / icon.
QPixmap IconPixmap(const IconImage& image);
QIcon LoadAppIcon();

#endif  // BRENNA_APP_DIALOGBUILDER_H
