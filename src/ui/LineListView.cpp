#include "LineListView.h"

#include "render/FontCatalogue.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

QColor ToColor(const Rgb& rgb) {
    return QColor(rgb.r, rgb.g, rgb.b);
}

// Draws a cell as the station's line list does: its own row backgrounds and
// text positions instead of the style's.
class LineRowDelegate final : public QStyledItemDelegate {
public:
    LineRowDelegate(LineListView& view, LineListModel& model)
        : QStyledItemDelegate(&view), m_view(view), m_model(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const qsizetype row = index.row();
        const LineList& lines = m_model.lines();
        if (row < 0 || row >= lines.size()) {
            return;
        }
        const LineItem& item = lines[row];
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->save();
        painter->fillRect(option.rect,
                          ToColor(LineListRowBackground(m_model.kind(), row, item, selected)));
        painter->setFont(option.font);
        painter->setPen(m_view.textColour());
        const QRect cell = option.rect;
        const int column = index.column();
        const LineListRowLayout layout = LineListRowPlacement(m_model.columns(), m_view.align());
        if (column == 0) {
            painter->drawText(cell.adjusted(layout.numberX, 0, 0, 0),
                              Qt::AlignLeft | Qt::AlignVCenter, item.Number);
        } else if (column == 1) {
            // Positions are along the row; the cell starts at the column's left edge.
            const QRect text(cell.left() + layout.textLeft - layout.columnLeft, cell.top(),
                             layout.textRight - layout.textLeft, cell.height());
            const Qt::Alignment anchor = layout.anchor == TextAnchor::Left     ? Qt::AlignLeft
                                         : layout.anchor == TextAnchor::Centre ? Qt::AlignHCenter
                                                                               : Qt::AlignRight;
            painter->setClipRect(cell);
            painter->drawText(text, anchor | Qt::AlignVCenter, item.Text);
        } else if (layout.sourceX >= 0) {
            painter->drawText(cell.adjusted(layout.sourceX - layout.columnRight, 0, 0, 0),
                              Qt::AlignLeft | Qt::AlignVCenter, item.Source);
        }
        painter->restore();
    }

private:
    LineListView& m_view;
    LineListModel& m_model;
};

} // namespace

LineListModel::LineListModel(QObject* parent)
    : QAbstractTableModel(parent), m_columns(LineListColumns(DocumentKind::None)) {}

void LineListModel::Show(const LineList& lines, DocumentKind kind, bool lyricColumns) {
    beginResetModel();
    m_lines = lines;
    m_kind = kind;
    m_lyricColumns = lyricColumns;
    m_columns = LineListColumns(kind, lyricColumns);
    endResetModel();
}

bool LineListModel::IsShowing(const LineList& lines, DocumentKind kind, bool lyricColumns) const {
    // Two empty lists never share data; they show the same rows all the same.
    const bool sameRows = m_lines.isSharedWith(lines) || (m_lines.isEmpty() && lines.isEmpty());
    return sameRows && m_kind == kind && m_lyricColumns == lyricColumns;
}

int LineListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int LineListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_lines.size()) {
        return {};
    }
    const LineItem& item = m_lines[index.row()];
    switch (index.column()) {
    case 0:
        return item.Number;
    case 1:
        return item.Text;
    default:
        return item.Source;
    }
}

QVariant LineListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_columns.size()) {
        return m_columns[section].caption;
    }
    return {};
}

LineListView::LineListView(QWidget* parent) : QTableView(parent), m_model(new LineListModel(this)) {
    setModel(m_model);
    setItemDelegate(new LineRowDelegate(*this, *m_model));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kLineListRowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    QFont face(FontCatalogue::ResolveFace(QStringLiteral("宋体")));
    face.setPixelSize(kLineListFontPixels);
    setFont(face);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { OnCurrentChanged(current); });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            emit lineClicked(index.row());
        }
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { ApplyColumnWidths(); });
    ApplyColumnWidths();
}

void LineListView::ApplyColumnWidths() {
    const QList<LineListColumn>& columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        setColumnWidth(i, columns[i].width);
    }
}

void LineListView::ShowLines(const LineList& lines, DocumentKind kind, bool lyricColumns) {
    if (!m_model->IsShowing(lines, kind, lyricColumns)) {
        m_showing = true;
        m_model->Show(lines, kind, lyricColumns);
        m_showing = false;
    }
}

void LineListView::SetTextStyle(QColor colour, int align) {
    if (colour != m_textColour || align != m_align) {
        m_textColour = colour;
        m_align = align;
        viewport()->update();
    }
}

void LineListView::ShowSelection(qsizetype index, qsizetype visibleRow) {
    m_showing = true;
    if (index < 0 || index >= m_model->rowCount()) {
        selectionModel()->clearSelection();
    } else {
        const QModelIndex at = m_model->index(static_cast<int>(index), 0);
        selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
        if (visibleRow >= 0 && visibleRow < m_model->rowCount()) {
            scrollTo(m_model->index(static_cast<int>(visibleRow), 0));
        }
        setFocus(Qt::OtherFocusReason);
    }
    m_showing = false;
}

qsizetype LineListView::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void LineListView::OnCurrentChanged(const QModelIndex& current) {
    if (!m_showing && current.isValid()) {
        emit lineChosen(current.row());
    }
}

void LineListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit stepRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void LineListView::focusInEvent(QFocusEvent* event) {
    // Gaining the focus without a current row makes Qt take the first row as
    // current; in this list that would send line 1 to the screens because a
    // Tab or a page change passed through. Only an operator's step, click or
    // arrow key chooses a line.
    const bool hadCurrent = currentIndex().isValid();
    m_showing = true;
    QTableView::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid() && selectedRow() < 0) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_showing = false;
}
