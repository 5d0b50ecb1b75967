// SPDX-License-Identifier: MIT
// The common controls of the dialog templates.
#include "platform/widgets/controls.h"

#include "platform/widgets/dialog.h"

#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

#include <algorithm>
#include <utility>

namespace platform {

int GetDlgCtrlID(const QWidget* control) {
    if (!control) return 0;
    const QVariant id = control->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

void SetDlgCtrlID(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

DWORD controlStyle(const QWidget* control) { return control->property(kStyleProperty).toUInt(); }

DWORD controlExStyle(const QWidget* control) { return control->property(kExStyleProperty).toUInt(); }

QString windowText(const QWidget* control) {
    if (!control) return {};
    if (auto* s = qobject_cast<const CStatic*>(control)) return s->GetWindowText();
    if (auto* b = qobject_cast<const QAbstractButton*>(control)) return b->text();
    if (auto* e = qobject_cast<const QLineEdit*>(control)) return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(control)) return c->currentText();
    if (auto* g = qobject_cast<const QGroupBox*>(control)) return g->title();
    if (auto* l = qobject_cast<const QLabel*>(control)) return l->text();
    if (control->isWindow()) return control->windowTitle();
    return {};
}

void setWindowText(QWidget* control, const QString& text) {
    if (!control) return;
    if (auto* s = qobject_cast<CStatic*>(control)) s->SetWindowText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(control)) b->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(control)) e->setText(text);
    else if (auto* c = qobject_cast<QComboBox*>(control)) {
        if (c->isEditable()) c->setEditText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(control)) g->setTitle(text);
    else if (auto* l = qobject_cast<QLabel*>(control)) l->setText(text);
    else if (control->isWindow()) control->setWindowTitle(text);
}

} // namespace platform

// ---- CStatic --------------------------------------------------------------------------------

CStatic::CStatic(QWidget* parent) : QWidget(parent) {}

DWORD CStatic::GetStyle() const { return platform::controlStyle(this); }
DWORD CStatic::GetExStyle() const { return platform::controlExStyle(this); }

BOOL CStatic::ModifyStyle(DWORD remove, DWORD add, UINT /*flags*/) {
    setProperty(platform::kStyleProperty, static_cast<uint>((GetStyle() & ~remove) | add));
    update();
    return TRUE;
}

BOOL CStatic::ModifyStyleEx(DWORD remove, DWORD add, UINT /*flags*/) {
    setProperty(platform::kExStyleProperty, static_cast<uint>((GetExStyle() & ~remove) | add));
    update();
    return TRUE;
}

void CStatic::SetWindowText(const QString& text) {
    if (text == m_strText) return;
    m_strText = text;
    update();
}

void CStatic::SetIcon(const QIcon& icon) {
    m_icon = icon;
    update();
}

QRect CStatic::clientGeometry() const {
    int inset = 0;
    if (GetStyle() & WS_BORDER) ++inset;
    if ((GetExStyle() & WS_EX_STATICEDGE) || (GetStyle() & SS_SUNKEN)) ++inset;
    return rect().adjusted(inset, inset, -inset, -inset);
}

RECT CStatic::GetClientRect() const {
    const QRect client = clientGeometry();
    return RECT{0, 0, std::max(0, client.width()), std::max(0, client.height())};
}

void CStatic::RedrawWindow(UINT /*flags*/) { update(); }

QSize CStatic::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(m_strText) + 4, metrics.height() + 2);
}

void CStatic::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    platform::DrawContext dc(painter);
    RECT frame = platform::toRect(rect());
    if (GetStyle() & WS_BORDER) {
        dc.Draw3dRect(frame, RGB(0, 0, 0), RGB(0, 0, 0));
        frame = RECT{frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
    }
    if ((GetExStyle() & WS_EX_STATICEDGE) || (GetStyle() & SS_SUNKEN))
        dc.Draw3dRect(frame, platform::GetSysColor(COLOR_3DSHADOW), platform::GetSysColor(COLOR_3DHILIGHT));
    const QRect client = clientGeometry();
    if (client.isEmpty()) return;
    painter.save();
    painter.translate(client.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), client.size()));
    OnPaint(painter, QRect(QPoint(0, 0), client.size()));
    painter.restore();
}

void CStatic::OnPaint(QPainter& painter, const QRect& client) {
    platform::DrawContext dc(painter);
    const DWORD style = GetStyle();
    switch (style & SS_TYPEMASK) {
    case SS_BLACKFRAME: dc.Draw3dRect(platform::toRect(client), RGB(0, 0, 0), RGB(0, 0, 0)); return;
    case SS_ICON:
        if (!m_icon.isNull()) m_icon.paint(&painter, QRect(client.topLeft(), QSize(32, 32)));
        return;
    default: break;
    }
    UINT format = DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format = DT_LEFT; break;
    default: break;
    }
    if (style & SS_CENTERIMAGE) format = (format & (DT_CENTER | DT_RIGHT)) | DT_VCENTER | DT_SINGLELINE;
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(platform::toColorRef(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                         QPalette::WindowText)));
    dc.SelectObject(font());
    dc.DrawText(m_strText, platform::toRect(client), format);
}

void CStatic::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    OnLButtonDown(event->position().toPoint() - clientGeometry().topLeft());
}

void CStatic::OnLButtonDown(const QPoint& /*point*/) {
    if (GetStyle() & SS_NOTIFY) notifyParent(STN_CLICKED);
}

void CStatic::notifyParent(UINT code) {
    if (CDialog* dialog = platform::dialogOf(this)) dialog->OnControlNotify(platform::GetDlgCtrlID(this), code);
}

// ---- AutoRadioButton ------------------------------------------------------------------------

AutoRadioButton::AutoRadioButton(QWidget* parent) : QRadioButton(parent) { setAutoExclusive(false); }

void AutoRadioButton::nextCheckState() { setChecked(true); }

// ---- CSliderCtrl ----------------------------------------------------------------------------

CSliderCtrl::CSliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 100);
    setPageStep(20);
    setSingleStep(1);
    connect(this, &QAbstractSlider::actionTriggered, this, &CSliderCtrl::onAction);
    connect(this, &QAbstractSlider::sliderReleased, this, &CSliderCtrl::onReleased);
}

void CSliderCtrl::applyStyle(DWORD style) {
    const bool vertical = (style & TBS_VERT) != 0;
    setOrientation(vertical ? Qt::Vertical : Qt::Horizontal);
    // A vertical track bar has its minimum at the top, and the up key lowers the position.
    setInvertedAppearance(vertical);
    setInvertedControls(vertical); // so the wheel moves the thumb the way it turns
}

void CSliderCtrl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: triggerAction(SliderSingleStepSub); break;
    case Qt::Key_Right:
    case Qt::Key_Down: triggerAction(SliderSingleStepAdd); break;
    case Qt::Key_PageUp: triggerAction(SliderPageStepSub); break;
    case Qt::Key_PageDown: triggerAction(SliderPageStepAdd); break;
    case Qt::Key_Home: triggerAction(SliderToMinimum); break;
    case Qt::Key_End: triggerAction(SliderToMaximum); break;
    default: QSlider::keyPressEvent(event); return;
    }
    event->accept();
}

void CSliderCtrl::SetRange(int minimum, int maximum, BOOL /*redraw*/) { setRange(minimum, maximum); }
void CSliderCtrl::SetRangeMin(int minimum, BOOL /*redraw*/) { setMinimum(minimum); }
void CSliderCtrl::SetRangeMax(int maximum, BOOL /*redraw*/) { setMaximum(maximum); }
void CSliderCtrl::SetPos(int position) { setValue(position); }

void CSliderCtrl::onAction(int action) {
    // Qt reports the action before the value moves; the handlers expect the new position.
    setValue(sliderPosition());
    UINT code = TB_ENDTRACK;
    switch (action) {
    case SliderSingleStepAdd: code = TB_LINEDOWN; break;
    case SliderSingleStepSub: code = TB_LINEUP; break;
    case SliderPageStepAdd: code = TB_PAGEDOWN; break;
    case SliderPageStepSub: code = TB_PAGEUP; break;
    case SliderToMinimum: code = TB_TOP; break;
    case SliderToMaximum: code = TB_BOTTOM; break;
    case SliderMove:
        if (isSliderDown()) {
            emit scrolled(TB_THUMBTRACK, static_cast<UINT>(sliderPosition()));
            return;
        }
        break;
    default: return;
    }
    if (code != TB_ENDTRACK) emit scrolled(code, 0);
    emit scrolled(TB_ENDTRACK, 0);
}

void CSliderCtrl::onReleased() {
    emit scrolled(TB_THUMBPOSITION, static_cast<UINT>(value()));
    emit scrolled(TB_ENDTRACK, 0);
}

// ---- CComboBox ------------------------------------------------------------------------------

CComboBox::CComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, [this] { emit notification(CBN_SELCHANGE); });
}

void CComboBox::applyStyle(DWORD style) {
    setEditable((style & 0x3) == CBS_DROPDOWN);
    if (isEditable()) {
        // Windows neither completes typed text nor adds it to the list on Enter.
        setInsertPolicy(QComboBox::NoInsert);
        setCompleter(nullptr);
        connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit notification(CBN_EDITCHANGE); });
    }
}

int CComboBox::AddString(const QString& text) {
    int index = count();
    if (platform::controlStyle(this) & CBS_SORT) {
        index = 0;
        while (index < count() && QString::compare(itemText(index), text, Qt::CaseInsensitive) <= 0) ++index;
    }
    insertItem(index, text);
    return index;
}

int CComboBox::SetCurSel(int index) {
    if (index < -1 || index >= count()) {
        setCurrentIndex(-1);
        return -1;
    }
    setCurrentIndex(index);
    return index;
}

// ---- CListCtrl ------------------------------------------------------------------------------

CListCtrl::CListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setColumnCount(0);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

int CListCtrl::InsertColumn(int column, const QString& heading, int format, int width) {
    column = std::clamp(column, 0, m_nColumns);
    QStringList headings;
    QList<int> widths;
    for (int i = 0; i < m_nColumns; ++i) {
        headings << headerItem()->text(i);
        widths << columnWidth(i);
    }
    headings.insert(column, heading);
    widths.insert(column, width >= 0 ? width : 100);
    ++m_nColumns;
    setColumnCount(m_nColumns);
    for (int i = 0; i < m_nColumns; ++i) {
        headerItem()->setText(i, headings[i]);
        setColumnWidth(i, widths[i]);
    }
    Qt::Alignment alignment = Qt::AlignLeft;
    if (format == LVCFMT_RIGHT) alignment = Qt::AlignRight;
    else if (format == LVCFMT_CENTER) alignment = Qt::AlignHCenter;
    headerItem()->setTextAlignment(column, alignment | Qt::AlignVCenter);
    return column;
}

QString CListCtrl::GetColumnHeading(int column) const {
    return column >= 0 && column < m_nColumns ? headerItem()->text(column) : QString();
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) { return std::exchange(m_dwExStyle, style); }

RECT CListCtrl::GetClientRect() const {
    const QRect client = contentsRect();
    return RECT{0, 0, client.width(), client.height()};
}

// ---- CTreeCtrl ------------------------------------------------------------------------------

CTreeCtrl::CTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
}

void CTreeCtrl::applyStyle(DWORD style) { setRootIsDecorated((style & TVS_LINESATROOT) != 0); }

// ---- SystemMenuButton -----------------------------------------------------------------------

SystemMenuButton::SystemMenuButton(QWidget* parent) : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("Window menu (Alt+Space)"));
}

void SystemMenuButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.features &= ~QStyleOptionToolButton::HasMenu; // no arrow: the bars say "menu"
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    // Three bars, centred.
    const int w = std::max(6, width() * 5 / 10);
    const int gap = std::max(2, height() / 5);
    const int x = (width() - w) / 2;
    const int y = height() / 2 - gap;
    const QColor ink = palette().color(QPalette::ButtonText);
    for (int i = 0; i < 3; ++i) painter.fillRect(QRect(x, y + i * gap, w, std::max(1, height() / 12)), ink);
}
