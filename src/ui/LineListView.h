#pragma once

#include "documents/LineListLayout.h"
#include "documents/SubtitleDocument.h"

#include <QAbstractTableModel>
#include <QTableView>

// The rows of the line list: a copy of the document's LineList (copies share
// their data until either side changes, so a refresh can tell cheaply whether
// the document's list is still the one shown).
class LineListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LineListModel(QObject* parent = nullptr);

    // Shows `lines` with the columns of the kind; `lyricColumns` for an MP3 entry.
    void Show(const LineList& lines, DocumentKind kind, bool lyricColumns);
    bool IsShowing(const LineList& lines, DocumentKind kind, bool lyricColumns) const;

    const LineList& lines() const { return m_lines; }
    DocumentKind kind() const { return m_kind; }
    const QList<LineListColumn>& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    LineList m_lines;
    DocumentKind m_kind = DocumentKind::None;
    bool m_lyricColumns = false;
    QList<LineListColumn> m_columns;
};

// The line list (ListView1): grid lines, whole-row selection, 24-pixel rows,
// rows drawn by the station's own rules (backgrounds that keep the segments of
// one script line together, text placed by the alignment setting). Space and
// Enter ask for the next line; a selection made by the operator is reported,
// one made by the station is not.
class LineListView : public QTableView {
    Q_OBJECT
public:
    explicit LineListView(QWidget* parent = nullptr);

    LineListModel& lineModel() { return *m_model; }
    // Shows the document's lines (nothing when they are already shown).
    void ShowLines(const LineList& lines, DocumentKind kind, bool lyricColumns);
    // Text colour and alignment of the rows.
    void SetTextStyle(QColor colour, int align);
    int align() const { return m_align; }
    QColor textColour() const { return m_textColour; }

    // The station selected a line: select and focus `index`, make `visibleRow`
    // visible. Does not emit lineChosen.
    void ShowSelection(qsizetype index, qsizetype visibleRow);
    qsizetype selectedRow() const;

signals:
    // The operator selected a row (click, arrow keys).
    void lineChosen(qsizetype index);
    // A click on a row, also on the row already selected (a recording takes
    // the line's time again).
    void lineClicked(qsizetype index);
    // Space or Enter.
    void stepRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnCurrentChanged(const QModelIndex& current);
    void ApplyColumnWidths();

    LineListModel* m_model;
    QColor m_textColour = Qt::red;
    int m_align = 1;
    bool m_showing = false;
};
