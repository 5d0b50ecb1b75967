// SPDX-License-Identifier: MIT
// The common controls of the dialog templates.
#include "platform/widgets/controls.h"

#include "platform/widgets/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
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

void AutoRadioButton::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: step = -1; break;
    case Qt::Key_Down:
    case Qt::Key_Right: step = 1; break;
    default: QRadioButton::keyPressEvent(event); return;
    }
    event->accept();
    CDialog* dialog = platform::dialogOf(this);
    auto* next = qobject_cast<QAbstractButton*>(dialog ? dialog->NextRadioInGroup(this, step) : nullptr);
    if (!next) return;
    next->setFocus(Qt::TabFocusReason);
    next->click();
}

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

int CComboBox::InsertString(int index, const QString& text) {
    if (index < 0 || index > count()) index = count();
    insertItem(index, text);
    return index;
}

int CComboBox::DeleteString(int index) {
    if (index < 0 || index >= count()) return -1;
    removeItem(index);
    return count();
}

int CComboBox::FindStringExact(int startAfter, const QString& text) const {
    const int n = count();
    int folded = -1;
    for (int k = 1; k <= n; ++k) {
        const int i = ((startAfter < 0 ? -1 : startAfter) + k) % n;
        const QString item = itemText(i);
        if (item == text) return i;
        if (folded < 0 && QString::compare(item, text, Qt::CaseInsensitive) == 0) folded = i;
    }
    return folded;
}

int CComboBox::SelectString(int startAfter, const QString& prefix) {
    const int n = count();
    for (int k = 1; k <= n; ++k) {
        const int i = ((startAfter < 0 ? -1 : startAfter) + k) % n;
        if (itemText(i).startsWith(prefix, Qt::CaseInsensitive)) return SetCurSel(i);
    }
    return -1;
}

void CComboBox::SetWindowText(const QString& text) {
    if (isEditable()) setEditText(text);
}

// ---- Notification positions -------------------------------------------------------------

namespace platform {

namespace {
thread_local bool t_hasMessagePos = false;
thread_local POINT t_messagePos;
} // namespace

POINT GetMessagePos() {
    if (t_hasMessagePos) return t_messagePos;
    const QPoint cursor = QCursor::pos();
    return POINT{cursor.x(), cursor.y()};
}

ScopedMessagePos::ScopedMessagePos(POINT screen) : m_hadPrevious(t_hasMessagePos), m_previous(t_messagePos) {
    t_hasMessagePos = true;
    t_messagePos = screen;
}

ScopedMessagePos::~ScopedMessagePos() {
    t_hasMessagePos = m_hadPrevious;
    t_messagePos = m_previous;
}

} // namespace platform

namespace {

POINT toPoint(const QPoint& p) { return POINT{p.x(), p.y()}; }

} // namespace

// ---- CListCtrl ------------------------------------------------------------------------------

/// Paints the cells of a CListCtrl with the colours its dialog answers to NM_CUSTOMDRAW,
/// and tells where a row's check box lies.
class ListDrawDelegate : public QStyledItemDelegate {
public:
    explicit ListDrawDelegate(CListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        COLORREF text = platform::toColorRef(option.palette.color(QPalette::Text));
        COLORREF background = platform::toColorRef(option.palette.color(QPalette::Base));
        if (!(m_list->customDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, index.row(), index.column(), &text, &background) &
              CDRF_NEWFONT)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.backgroundBrush = QBrush(platform::toQColor(background));
        opt.palette.setColor(QPalette::Text, platform::toQColor(text));
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

    QRect checkRect(const QModelIndex& index) const {
        QStyleOptionViewItem opt;
        opt.initFrom(m_list->viewport());
        opt.rect = m_list->visualRect(index);
        opt.font = m_list->font();
        initStyleOption(&opt, index);
        if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator)) return {};
        return m_list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, m_list);
    }

private:
    CListCtrl* m_list;
};

CListCtrl::CListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setColumnCount(0);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setItemDelegate(new ListDrawDelegate(this));
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

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    const DWORD previous = std::exchange(m_dwExStyle, style);
    if ((previous ^ style) & LVS_EX_CHECKBOXES) {
        for (int i = 0; i < topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = topLevelItem(i);
            if (style & LVS_EX_CHECKBOXES) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, Qt::Unchecked);
            } else {
                item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
                item->setData(0, Qt::CheckStateRole, QVariant());
            }
        }
    }
    return previous;
}

RECT CListCtrl::GetClientRect() const {
    const QRect client = contentsRect();
    return RECT{0, 0, client.width(), client.height()};
}

QTreeWidgetItem* CListCtrl::row(int index) const {
    return index >= 0 && index < topLevelItemCount() ? topLevelItem(index) : nullptr;
}

int CListCtrl::InsertItem(int index, const QString& text) {
    if (index < 0) return -1;
    index = std::min(index, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren);
    if (m_dwExStyle & LVS_EX_CHECKBOXES) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    insertTopLevelItem(index, item);
    return index;
}

BOOL CListCtrl::SetItemText(int index, int column, const QString& text) {
    QTreeWidgetItem* item = row(index);
    if (!item || column < 0 || column >= m_nColumns) return FALSE;
    item->setText(column, text);
    return TRUE;
}

QString CListCtrl::GetItemText(int index, int column) const {
    const QTreeWidgetItem* item = row(index);
    return item ? item->text(column) : QString();
}

BOOL CListCtrl::DeleteItem(int index) {
    QTreeWidgetItem* item = row(index);
    if (!item) return FALSE;
    delete takeTopLevelItem(index);
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems() {
    clear();
    return TRUE;
}

BOOL CListCtrl::SetCheck(int index, BOOL check) {
    QTreeWidgetItem* item = row(index);
    if (!item || !(m_dwExStyle & LVS_EX_CHECKBOXES)) return FALSE;
    item->setCheckState(0, check ? Qt::Checked : Qt::Unchecked);
    return TRUE;
}

BOOL CListCtrl::GetCheck(int index) const {
    const QTreeWidgetItem* item = row(index);
    return item && item->checkState(0) == Qt::Checked ? TRUE : FALSE;
}

QRect CListCtrl::checkBoxRect(int index) const {
    QTreeWidgetItem* item = row(index);
    if (!item || !(m_dwExStyle & LVS_EX_CHECKBOXES)) return {};
    return static_cast<ListDrawDelegate*>(itemDelegate())->checkRect(indexFromItem(item, 0));
}

int CListCtrl::HitTest(POINT point, UINT* flags) const {
    const QPoint p(point.x, point.y);
    QTreeWidgetItem* item = itemAt(p);
    if (!item) {
        if (flags) *flags = LVHT_NOWHERE;
        return -1;
    }
    const int index = indexOfTopLevelItem(item);
    if (flags) *flags = checkBoxRect(index).contains(p) ? LVHT_ONITEMSTATEICON : LVHT_ONITEMLABEL;
    return index;
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask) {
    if (index == -1) {
        for (int i = 0; i < topLevelItemCount(); ++i) SetItemState(i, state, mask);
        return TRUE;
    }
    QTreeWidgetItem* item = row(index);
    if (!item) return FALSE;
    if (mask & LVIS_SELECTED) item->setSelected((state & LVIS_SELECTED) != 0);
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
        setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    return TRUE;
}

UINT CListCtrl::GetItemState(int index, UINT mask) const {
    const QTreeWidgetItem* item = row(index);
    if (!item) return 0;
    UINT state = 0;
    if (item->isSelected()) state |= LVIS_SELECTED;
    if (currentItem() == item) state |= LVIS_FOCUSED;
    return state & mask;
}

BOOL CListCtrl::EnsureVisible(int index, BOOL partialOK) {
    QTreeWidgetItem* item = row(index);
    if (!item) return FALSE;
    if (partialOK && viewport()->rect().intersects(visualItemRect(item))) return TRUE;
    scrollToItem(item, QAbstractItemView::EnsureVisible);
    return TRUE;
}

int CListCtrl::GetFocusedRow() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}

void CListCtrl::ScreenToClient(POINT* point) const {
    const QPoint p = viewport()->mapFromGlobal(QPoint(point->x, point->y));
    *point = toPoint(p);
}

LRESULT CListCtrl::notify(UINT code, int item, const QPoint& clientPos, const QPoint& globalPos) {
    CDialog* dialog = platform::dialogOf(this);
    if (!dialog) return 0;
    platform::ScopedMessagePos pos(toPoint(globalPos));
    NMITEMACTIVATE info;
    info.hdr.hwndFrom = this;
    info.hdr.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
    info.hdr.code = code;
    info.iItem = item;
    info.ptAction = toPoint(clientPos);
    return dialog->OnControlWmNotify(&info.hdr);
}

LRESULT CListCtrl::customDraw(DWORD stage, int item, int column, COLORREF* text, COLORREF* background) {
    CDialog* dialog = platform::dialogOf(this);
    if (!dialog) return CDRF_DODEFAULT;
    if (!(m_lPrepaintAnswer & CDRF_NOTIFYITEMDRAW)) return CDRF_DODEFAULT;
    NMLVCUSTOMDRAW draw;
    draw.hdr.hwndFrom = this;
    draw.hdr.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
    draw.hdr.code = NM_CUSTOMDRAW;
    draw.dwItemSpec = item;
    draw.clrText = *text;
    draw.clrTextBk = *background;
    draw.dwDrawStage = CDDS_ITEMPREPAINT;
    if (!(dialog->OnControlWmNotify(&draw.hdr) & CDRF_NOTIFYSUBITEMDRAW)) return CDRF_DODEFAULT;
    draw.dwDrawStage = stage;
    draw.iSubItem = column;
    const LRESULT answer = dialog->OnControlWmNotify(&draw.hdr);
    *text = draw.clrText;
    *background = draw.clrTextBk;
    return answer;
}

void CListCtrl::paintEvent(QPaintEvent* event) {
    m_lPrepaintAnswer = CDRF_DODEFAULT;
    if (CDialog* dialog = platform::dialogOf(this)) {
        NMLVCUSTOMDRAW draw;
        draw.hdr.hwndFrom = this;
        draw.hdr.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
        draw.hdr.code = NM_CUSTOMDRAW;
        draw.dwDrawStage = CDDS_PREPAINT;
        m_lPrepaintAnswer = dialog->OnControlWmNotify(&draw.hdr);
    }
    QTreeWidget::paintEvent(event);
}

void CListCtrl::mousePressEvent(QMouseEvent* event) {
    m_bSkipNextRelease = false;
    QTreeWidget::mousePressEvent(event);
}

void CListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    const Qt::MouseButton button = event->button();
    // The list acts first (a click on a check box toggles it), then its dialog hears of it.
    QTreeWidget::mouseReleaseEvent(event);
    if (std::exchange(m_bSkipNextRelease, false)) return;
    QTreeWidgetItem* item = itemAt(pos);
    const int index = item ? indexOfTopLevelItem(item) : -1;
    if (button == Qt::LeftButton) notify(NM_CLICK, index, pos, global);
    else if (button == Qt::RightButton) notify(NM_RCLICK, index, pos, global);
}

void CListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    const bool left = event->button() == Qt::LeftButton;
    QTreeWidget::mouseDoubleClickEvent(event);
    if (!left) return;
    m_bSkipNextRelease = true;
    QTreeWidgetItem* item = itemAt(pos);
    notify(NM_DBLCLK, item ? indexOfTopLevelItem(item) : -1, pos, global);
}

void CListCtrl::keyPressEvent(QKeyEvent* event) {
    if (CDialog* dialog = platform::dialogOf(this)) {
        NMLVKEYDOWN key;
        key.hdr.hwndFrom = this;
        key.hdr.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
        key.hdr.code = LVN_KEYDOWN;
        key.wVKey = event->key() == Qt::Key_Space ? VK_SPACE : static_cast<WORD>(event->key() & 0xFFFF);
        dialog->OnControlWmNotify(&key.hdr);
    }
    QTreeWidget::keyPressEvent(event);
}

// ---- CTreeCtrl ------------------------------------------------------------------------------

CTreeCtrl::CTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
}

void CTreeCtrl::applyStyle(DWORD style) { setRootIsDecorated((style & TVS_LINESATROOT) != 0); }

HTREEITEM CTreeCtrl::InsertItem(const QString& text, HTREEITEM parent, HTREEITEM after) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    if (parent == TVI_ROOT || parent == nullptr) {
        int index = topLevelItemCount();
        if (after != TVI_LAST && after != nullptr) {
            const int at = indexOfTopLevelItem(after);
            if (at >= 0) index = at + 1;
        }
        insertTopLevelItem(index, item);
    } else {
        int index = parent->childCount();
        if (after != TVI_LAST && after != nullptr) {
            const int at = parent->indexOfChild(after);
            if (at >= 0) index = at + 1;
        }
        parent->insertChild(index, item);
    }
    return item;
}

QString CTreeCtrl::GetItemText(HTREEITEM item) const { return item ? item->text(0) : QString(); }

HTREEITEM CTreeCtrl::GetRootItem() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    if (!item) return nullptr;
    if (QTreeWidgetItem* parent = item->parent()) {
        const int index = parent->indexOfChild(item) + 1;
        return index < parent->childCount() ? parent->child(index) : nullptr;
    }
    const int index = indexOfTopLevelItem(item) + 1;
    return index > 0 && index < topLevelItemCount() ? topLevelItem(index) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const { return item ? item->parent() : nullptr; }

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    return item && item->childCount() > 0 ? item->child(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const {
    switch (code) {
    case TVGN_ROOT: return GetRootItem();
    case TVGN_NEXT: return GetNextSiblingItem(item);
    case TVGN_PARENT: return GetParentItem(item);
    case TVGN_CHILD: return GetChildItem(item);
    case TVGN_CARET: return GetSelectedItem();
    default: return nullptr;
    }
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const { return item && item->childCount() > 0 ? TRUE : FALSE; }

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    if (!item) return FALSE;
    if (code == TVE_EXPAND) item->setExpanded(true);
    else if (code == TVE_COLLAPSE) item->setExpanded(false);
    else return FALSE;
    return TRUE;
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
    if (!item) {
        clearSelection();
        setCurrentItem(nullptr);
        return TRUE;
    }
    setCurrentItem(item);
    return TRUE;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const { return currentItem(); }

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    const QPoint p(point.x, point.y);
    QTreeWidgetItem* item = itemAt(p);
    if (flags) {
        if (!item) *flags = TVHT_NOWHERE;
        else {
            const QRect text = visualItemRect(item);
            *flags = p.x() < text.left() ? (item->childCount() > 0 ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT)
                                         : TVHT_ONITEMLABEL;
        }
    }
    return item;
}

void CTreeCtrl::ScreenToClient(POINT* point) const {
    *point = toPoint(viewport()->mapFromGlobal(QPoint(point->x, point->y)));
}

LRESULT CTreeCtrl::notify(UINT code, const QPoint& globalPos) {
    CDialog* dialog = platform::dialogOf(this);
    if (!dialog) return 0;
    platform::ScopedMessagePos pos(toPoint(globalPos));
    NMHDR header;
    header.hwndFrom = this;
    header.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
    header.code = code;
    return dialog->OnControlWmNotify(&header);
}

void CTreeCtrl::mousePressEvent(QMouseEvent* event) {
    m_bSkipNextRelease = false;
    QTreeWidget::mousePressEvent(event);
}

void CTreeCtrl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    const bool left = event->button() == Qt::LeftButton;
    QTreeWidget::mouseReleaseEvent(event);
    if (std::exchange(m_bSkipNextRelease, false) || !left) return;
    notify(NM_CLICK, global);
}

void CTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bSkipNextRelease = true;
        // The dialog may read the item's folders first; then the tree's own double-click
        // expands what now has children.
        QPointer<CTreeCtrl> guard(this);
        notify(NM_DBLCLK, event->globalPosition().toPoint());
        if (!guard) return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

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
