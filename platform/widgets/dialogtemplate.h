// SPDX-License-Identifier: MIT
// Dialog templates: Qt Designer files whose geometry is in dialog units and whose controls
// carry their numeric id, window styles and (for icons) a resource id as dynamic properties.
// This reads them, converts dialog units with the dialog font, and makes the controls.
#pragma once

#include "platform/widgets/winuser.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace platform {

/// One control of a template. Geometry is in dialog units.
struct ControlTemplate {
    QString className;
    QString name; ///< the IDC_ name the template gives it
    int id = 0;   ///< -1 for statics nobody addresses
    QRect rect;
    QString text;
    QString toolTip;
    DWORD style = 0;
    DWORD exStyle = 0;
    bool checked = false;
    int iconId = 0;
};

/// A dialog template: caption, client size in dialog units, window styles, controls in tab order.
struct DialogTemplate {
    int id = 0;
    QString name;
    QString title;
    QSize size;
    DWORD style = 0;
    std::vector<ControlTemplate> controls;
};

/// Where the template of dialog `id` is kept among the program's resources.
QString dialogTemplatePath(int id);

/// Reads a template file. On failure returns nullopt and says why in *error.
std::optional<DialogTemplate> readDialogTemplate(const QString& path, QString* error = nullptr);

/// Parses window style names joined by '|' ("WS_GROUP|BS_AUTORADIOBUTTON") or a number.
std::optional<DWORD> parseStyle(const QString& names);

/// Dialog base units of a font: the average width of its letters and its height in pixels.
/// A dialog unit is a quarter of the first across and an eighth of the second down.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;
    int x(int units) const;
    int y(int units) const;
    QRect rect(const QRect& units) const;
    QSize size(const QSize& units) const;
};
DialogUnits dialogBaseUnits(const QFont& font);

/// Makes a control of a class the templates name; the dialog sets its parent, id and geometry.
using ControlFactory = std::function<QWidget*()>;

/// Lets templates name a class of a higher layer (labels, owner-drawn buttons). A later
/// registration of the same name replaces the earlier one.
void registerControlClass(const QString& className, ControlFactory factory);
bool isControlClassKnown(const QString& className);

/// Makes one control of a template as a child of `parent`, placed by `units`. Returns null
/// when the class is unknown.
QWidget* createControl(const ControlTemplate& control, QWidget* parent, const DialogUnits& units);

} // namespace platform
