#include "EditForm.h"

#include "ui_EditForm.h"

#include "render/FontCatalogue.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

namespace {

bool ClipboardHasText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText() && !data->text().isEmpty();
}

} // namespace

TEditForm::TEditForm(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TEditForm>()) {
    m_ui->setupUi(this);
    QTextEdit* edit = m_ui->RichEdit1;
    edit->setAcceptRichText(false);

    m_menu = new QMenu(this);
    const auto addAction = [this](const char* name, const QString& text, auto slot) {
        QAction* action = m_menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, m_ui->RichEdit1, slot);
        return action;
    };
    addAction("MenuUndo", QStringLiteral("撤消"), &QTextEdit::undo);
    addAction("MenuDelete", QStringLiteral("删除"),
              [edit] { edit->textCursor().removeSelectedText(); });
    m_menu->addSeparator();
    addAction("MenuCut", QStringLiteral("剪切"), &QTextEdit::cut);
    addAction("MenuCopy", QStringLiteral("复制"), &QTextEdit::copy);
    addAction("MenuPaste", QStringLiteral("粘贴"), &QTextEdit::paste);
    m_menu->addSeparator();
    addAction("MenuSelectAll", QStringLiteral("全选"), &QTextEdit::selectAll);
    connect(edit, &QWidget::customContextMenuRequested, this, [this, edit](const QPoint& at) {
        UpdateCommands();
        m_menu->popup(edit->viewport()->mapToGlobal(at));
    });

    connect(m_ui->ButtonCut, &QToolButton::clicked, edit, &QTextEdit::cut);
    connect(m_ui->ButtonCopy, &QToolButton::clicked, edit, &QTextEdit::copy);
    connect(m_ui->ButtonPaste, &QToolButton::clicked, edit, &QTextEdit::paste);
    connect(m_ui->ButtonUndo, &QToolButton::clicked, edit, &QTextEdit::undo);
    connect(m_ui->ButtonDelete, &QToolButton::clicked, this,
            [edit] { edit->textCursor().removeSelectedText(); });
    connect(m_ui->ButtonOk, &QToolButton::clicked, this, &QDialog::accept);
    connect(m_ui->ButtonCancel, &QToolButton::clicked, this, &QDialog::reject);
    connect(edit, &QTextEdit::copyAvailable, this, [this] { UpdateCommands(); });
    connect(edit, &QTextEdit::undoAvailable, this, [this] { UpdateCommands(); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { UpdateCommands(); });
    UpdateCommands();
}

TEditForm::~TEditForm() = default;

void TEditForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_ui->RichEdit1->setFocus(Qt::ActiveWindowFocusReason);
}

void TEditForm::load(const QStringList& lines) {
    QTextEdit* edit = m_ui->RichEdit1;
    QFont face(FontCatalogue::ResolveFace(QStringLiteral("宋体")));
    face.setPointSize(12);
    edit->setFont(face);
    edit->setPlainText(lines.join(u'\n'));
    // 340 twips between lines, as the script editor always had: long scripts
    // stay readable without wasting rows.
    QTextCursor all(edit->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat spacing;
    spacing.setLineHeight(17.0 * edit->logicalDpiY() / 72.0, QTextBlockFormat::FixedHeight);
    all.mergeBlockFormat(spacing);
    edit->document()->clearUndoRedoStacks();
    edit->moveCursor(QTextCursor::Start);
    m_ui->StatusBar1->showMessage(QStringLiteral("共 %1 句字幕").arg(lines.size()));
    UpdateCommands();
}

QString TEditForm::text() const {
    return m_ui->RichEdit1->toPlainText();
}

QString TEditForm::statusText() const {
    return m_ui->StatusBar1->currentMessage();
}

void TEditForm::UpdateCommands() {
    const bool selected = m_ui->RichEdit1->textCursor().hasSelection();
    const bool paste = ClipboardHasText();
    const bool undo = m_ui->RichEdit1->document()->isUndoAvailable();
    for (QWidget* button :
         {static_cast<QWidget*>(m_ui->ButtonCut), static_cast<QWidget*>(m_ui->ButtonCopy),
          static_cast<QWidget*>(m_ui->ButtonDelete)}) {
        button->setEnabled(selected);
    }
    m_ui->ButtonPaste->setEnabled(paste);
    m_ui->ButtonUndo->setEnabled(undo);
    for (QAction* action : m_menu->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("MenuCut") || name == QLatin1String("MenuCopy") ||
            name == QLatin1String("MenuDelete")) {
            action->setEnabled(selected);
        } else if (name == QLatin1String("MenuPaste")) {
            action->setEnabled(paste);
        } else if (name == QLatin1String("MenuUndo")) {
            action->setEnabled(undo);
        }
    }
}
