// SPDX-License-Identifier: MIT
// Reading dialog templates and making their controls.
#include "platform/widgets/dialogtemplate.h"

#include "platform/widgets/controls.h"
#include "platform/widgets/resources.h"

#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QXmlStreamReader>

namespace platform {

namespace {

struct StyleName {
    const char* name;
    DWORD value;
};

// Every style a template may name.
constexpr StyleName kStyleNames[] = {
    {"WS_BORDER", WS_BORDER},
    {"WS_VSCROLL", WS_VSCROLL},
    {"WS_HSCROLL", WS_HSCROLL},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_THICKFRAME", WS_THICKFRAME},
    {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {"WS_DISABLED", WS_DISABLED},
    {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
    {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
    {"SS_LEFT", SS_LEFT},
    {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},
    {"SS_ICON", SS_ICON},
    {"SS_BLACKFRAME", SS_BLACKFRAME},
    {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
    {"SS_NOTIFY", SS_NOTIFY},
    {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"SS_SUNKEN", SS_SUNKEN},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_OWNERDRAW", BS_OWNERDRAW},
    {"BS_MULTILINE", BS_MULTILINE},
    {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {"ES_NUMBER", ES_NUMBER},
    {"CBS_DROPDOWN", CBS_DROPDOWN},
    {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
    {"CBS_SORT", CBS_SORT},
    {"TVS_HASBUTTONS", TVS_HASBUTTONS},
    {"TVS_HASLINES", TVS_HASLINES},
    {"TVS_LINESATROOT", TVS_LINESATROOT},
    {"TVS_SHOWSELALWAYS", TVS_SHOWSELALWAYS},
    {"LVS_REPORT", LVS_REPORT},
    {"LVS_SHOWSELALWAYS", LVS_SHOWSELALWAYS},
    {"TBS_HORZ", TBS_HORZ},
    {"TBS_VERT", TBS_VERT},
};

QMutex g_factoriesMutex;

QHash<QString, ControlFactory>& factories() {
    static QHash<QString, ControlFactory> table = [] {
        QHash<QString, ControlFactory> t;
        t.insert(QStringLiteral("QPushButton"), [] { return new QPushButton; });
        t.insert(QStringLiteral("QRadioButton"), [] { return new AutoRadioButton; });
        t.insert(QStringLiteral("QCheckBox"), [] { return new QCheckBox; });
        t.insert(QStringLiteral("QLineEdit"), [] { return new QLineEdit; });
        t.insert(QStringLiteral("QGroupBox"), [] { return new QGroupBox; });
        t.insert(QStringLiteral("CStatic"), [] { return new CStatic; });
        t.insert(QStringLiteral("CComboBox"), [] { return new CComboBox; });
        t.insert(QStringLiteral("CSliderCtrl"), [] { return new CSliderCtrl; });
        t.insert(QStringLiteral("CListCtrl"), [] { return new CListCtrl; });
        t.insert(QStringLiteral("CTreeCtrl"), [] { return new CTreeCtrl; });
        t.insert(QStringLiteral("SystemMenuButton"), [] { return new SystemMenuButton; });
        return t;
    }();
    return table;
}

// The value of a <property>: its single child element <string>, <number>, <bool> or <rect>.
struct PropertyValue {
    QString kind;
    QString text;
    QRect rect;
};

std::optional<PropertyValue> readPropertyValue(QXmlStreamReader& xml) {
    std::optional<PropertyValue> value;
    while (xml.readNextStartElement()) {
        PropertyValue v;
        v.kind = xml.name().toString();
        if (v.kind == QLatin1String("rect")) {
            int parts[4] = {};
            while (xml.readNextStartElement()) {
                const QString field = xml.name().toString();
                const int n = xml.readElementText().toInt();
                if (field == QLatin1String("x")) parts[0] = n;
                else if (field == QLatin1String("y")) parts[1] = n;
                else if (field == QLatin1String("width")) parts[2] = n;
                else if (field == QLatin1String("height")) parts[3] = n;
            }
            v.rect = QRect(parts[0], parts[1], parts[2], parts[3]);
        } else {
            v.text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
        value = v;
    }
    return value;
}

bool applyProperty(const QString& name, const PropertyValue& value, ControlTemplate* control, DialogTemplate* dialog,
                   QString* error) {
    auto style = [&](DWORD* target) {
        const std::optional<DWORD> bits = parseStyle(value.text);
        if (!bits) {
            *error = QStringLiteral("unknown style \"%1\"").arg(value.text);
            return false;
        }
        *target = *bits;
        return true;
    };
    if (control) {
        if (name == QLatin1String("geometry")) control->rect = value.rect;
        else if (name == QLatin1String("text") || name == QLatin1String("title")) control->text = value.text;
        else if (name == QLatin1String("toolTip")) control->toolTip = value.text;
        else if (name == QLatin1String("checked")) control->checked = value.text == QLatin1String("true");
        else if (name == QLatin1String(kControlIdProperty)) control->id = value.text.toInt();
        else if (name == QLatin1String("iconId")) control->iconId = value.text.toInt();
        else if (name == QLatin1String(kStyleProperty)) return style(&control->style);
        else if (name == QLatin1String(kExStyleProperty)) return style(&control->exStyle);
        return true;
    }
    if (name == QLatin1String("geometry")) dialog->size = value.rect.size();
    else if (name == QLatin1String("windowTitle")) dialog->title = value.text;
    else if (name == QLatin1String("templateId")) dialog->id = value.text.toInt();
    else if (name == QLatin1String(kStyleProperty)) return style(&dialog->style);
    return true;
}

bool readWidget(QXmlStreamReader& xml, ControlTemplate* control, DialogTemplate* dialog, QString* error) {
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("property")) {
            const QString name = xml.attributes().value(QLatin1String("name")).toString();
            const std::optional<PropertyValue> value = readPropertyValue(xml);
            if (value && !applyProperty(name, *value, control, dialog, error)) return false;
        } else if (xml.name() == QLatin1String("widget")) {
            if (control) {
                *error = QStringLiteral("control %1 holds another control; templates are flat").arg(control->name);
                return false;
            }
            ControlTemplate child;
            child.className = xml.attributes().value(QLatin1String("class")).toString();
            child.name = xml.attributes().value(QLatin1String("name")).toString();
            if (!readWidget(xml, &child, nullptr, error)) return false;
            dialog->controls.push_back(child);
        } else {
            xml.skipCurrentElement();
        }
    }
    return true;
}

} // namespace

QString dialogTemplatePath(int id) { return QStringLiteral(":/brimvale/dialogs/%1.ui").arg(id); }

std::optional<DWORD> parseStyle(const QString& names) {
    DWORD bits = 0;
    for (const QString& part : names.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        bool isNumber = false;
        const uint number = name.toUInt(&isNumber, 0);
        if (isNumber) {
            bits |= number;
            continue;
        }
        bool found = false;
        for (const StyleName& known : kStyleNames) {
            if (name == QLatin1String(known.name)) {
                bits |= known.value;
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    return bits;
}

std::optional<DialogTemplate> readDialogTemplate(const QString& path, QString* error) {
    QString why;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("%1: cannot be opened").arg(path);
        return std::nullopt;
    }
    QXmlStreamReader xml(&file);
    DialogTemplate dialog;
    bool sawDialog = false;
    if (xml.readNextStartElement() && xml.name() == QLatin1String("ui")) {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("widget") && !sawDialog) {
                sawDialog = true;
                dialog.name = xml.attributes().value(QLatin1String("name")).toString();
                if (!readWidget(xml, nullptr, &dialog, &why)) break;
            } else {
                xml.skipCurrentElement();
            }
        }
    } else {
        why = QStringLiteral("not a Designer file");
    }
    if (why.isEmpty() && xml.hasError()) why = xml.errorString();
    if (why.isEmpty() && !sawDialog) why = QStringLiteral("no dialog widget");
    if (!why.isEmpty()) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    }
    return dialog;
}

int DialogUnits::x(int units) const { return (units * baseX + (units >= 0 ? 2 : -2)) / 4; }
int DialogUnits::y(int units) const { return (units * baseY + (units >= 0 ? 4 : -4)) / 8; }

QRect DialogUnits::rect(const QRect& units) const {
    // Convert the edges, not the extent, so neighbours that touch in dialog units touch in pixels.
    const int left = x(units.left()), top = y(units.top());
    return QRect(left, top, x(units.left() + units.width()) - left, y(units.top() + units.height()) - top);
}

QSize DialogUnits::size(const QSize& units) const { return QSize(x(units.width()), y(units.height())); }

DialogUnits dialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average of the 52 letters, rounded to the nearest pixel.
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

void registerControlClass(const QString& className, ControlFactory factory) {
    QMutexLocker lock(&g_factoriesMutex);
    factories().insert(className, std::move(factory));
}

bool isControlClassKnown(const QString& className) {
    QMutexLocker lock(&g_factoriesMutex);
    return factories().contains(className);
}

QWidget* createControl(const ControlTemplate& control, QWidget* parent, const DialogUnits& units) {
    ControlFactory factory;
    {
        QMutexLocker lock(&g_factoriesMutex);
        factory = factories().value(control.className);
    }
    if (!factory) return nullptr;
    QWidget* widget = factory();
    widget->setParent(parent);
    widget->setObjectName(control.name);
    SetDlgCtrlID(widget, control.id);
    widget->setProperty(kStyleProperty, static_cast<uint>(control.style));
    widget->setProperty(kExStyleProperty, static_cast<uint>(control.exStyle));

    QRect geometry = units.rect(control.rect);
    if (auto* slider = qobject_cast<CSliderCtrl*>(widget)) slider->applyStyle(control.style);
    if (auto* tree = qobject_cast<CTreeCtrl*>(widget)) tree->applyStyle(control.style);
    if (auto* combo = qobject_cast<CComboBox*>(widget)) {
        combo->applyStyle(control.style);
        // The template gives the closed box's height; Qt's box needs its own.
        geometry.setHeight(std::max(geometry.height(), combo->sizeHint().height()));
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        if ((control.style & 0xF) == BS_DEFPUSHBUTTON) button->setDefault(true);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (control.style & ES_NUMBER)
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    if (auto* staticControl = qobject_cast<CStatic*>(widget)) {
        if (control.iconId > 0) staticControl->SetIcon(LoadIconResource(static_cast<UINT>(control.iconId)));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (control.checked) button->setChecked(true);
    }
    setWindowText(widget, control.text);
    if (!control.toolTip.isEmpty()) widget->setToolTip(control.toolTip);
    if (control.style & WS_DISABLED) widget->setEnabled(false);
    widget->setGeometry(geometry);
    return widget;
}

} // namespace platform
