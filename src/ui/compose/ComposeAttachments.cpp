// The compose window's attachment list: adding through the file dialog and
// by dropping files, removing, opening, sizes, and the window's private
// folder for files it owns.

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include "core/Messages.h"
#include "core/TempDir.h"
#include "lang/Lang.h"
#include "mime/SafeFileName.h"
#include "send/SendRequest.h"
#include "ui/compose/ComposeWindow.h"
#include "ui/view/AttachmentActions.h"

namespace vm {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kTemporaryRole = Qt::UserRole + 1;

QAction* MakeAction(QWidget* owner, const char* name, const QString& text)
{
    auto* a = new QAction(text, owner);
    a->setObjectName(QLatin1String(name));
    owner->addAction(a);
    return a;
}

} // namespace

QString ComposeWindow::SizeText(qint64 bytes)
{
    return QString::number((bytes + 512) / 1024) + QStringLiteral("KB");
}

void ComposeWindow::BuildAttachments()
{
    LAttachments = new QTreeWidget(PBottom);
    LAttachments->setObjectName(QStringLiteral("LAttachments"));
    LAttachments->setColumnCount(2);
    LAttachments->setHeaderHidden(true);
    LAttachments->setRootIsDecorated(false);
    LAttachments->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LAttachments->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    LAttachments->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LAttachments->setMaximumHeight(110);
    BAdd = new QToolButton(PBottom);
    BAdd->setObjectName(QStringLiteral("BAdd"));
    BAdd->setText(QStringLiteral("+"));
    BDelete = new QToolButton(PBottom);
    BDelete->setObjectName(QStringLiteral("BDelete"));
    BDelete->setText(QStringLiteral("\u2212"));

    AOpenAttachment = MakeAction(this, "AOpenAttachment", QStringLiteral("&Open"));
    AAddAttachment = MakeAction(this, "AAddAttachment", QStringLiteral("&Add..."));
    ADeleteAttachment = MakeAction(this, "ADeleteAttachment", QStringLiteral("&Delete"));
    // Delete acts on the list only, never on the text being edited.
    LAttachments->addAction(ADeleteAttachment);
    removeAction(ADeleteAttachment);
    ADeleteAttachment->setShortcut(QKeySequence::Delete);
    ADeleteAttachment->setShortcutContext(Qt::WidgetShortcut);

    popAttachment = new QMenu(this);
    popAttachment->setObjectName(QStringLiteral("popAttachment"));
    auto* popOpen = popAttachment->addAction(QStringLiteral("&Open"));
    popOpen->setObjectName(QStringLiteral("popOpen"));
    auto* popAdd = popAttachment->addAction(QStringLiteral("&Add..."));
    popAdd->setObjectName(QStringLiteral("popAdd"));
    auto* popDelete = popAttachment->addAction(QStringLiteral("&Delete"));
    popDelete->setObjectName(QStringLiteral("popDelete"));
    connect(popOpen, &QAction::triggered, AOpenAttachment, &QAction::trigger);
    connect(popAdd, &QAction::triggered, AAddAttachment, &QAction::trigger);
    connect(popDelete, &QAction::triggered, ADeleteAttachment, &QAction::trigger);
    connect(popAttachment, &QMenu::aboutToShow, this, [this, popOpen, popAdd, popDelete] {
        popOpen->setEnabled(AOpenAttachment->isEnabled());
        popAdd->setEnabled(AAddAttachment->isEnabled());
        popDelete->setEnabled(ADeleteAttachment->isEnabled());
    });
    LAttachments->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LAttachments, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popAttachment->popup(LAttachments->viewport()->mapToGlobal(pos));
    });

    connect(AOpenAttachment, &QAction::triggered, this, &ComposeWindow::OpenSelectedAttachment);
    connect(AAddAttachment, &QAction::triggered, this, &ComposeWindow::ChooseAttachments);
    connect(ADeleteAttachment, &QAction::triggered, this,
            &ComposeWindow::DeleteSelectedAttachments);
    connect(BAdd, &QToolButton::clicked, AAddAttachment, &QAction::trigger);
    connect(BDelete, &QToolButton::clicked, ADeleteAttachment, &QAction::trigger);
    connect(LAttachments, &QTreeWidget::itemSelectionChanged, this,
            &ComposeWindow::UpdateAttachmentActions);
    connect(LAttachments, &QTreeWidget::itemDoubleClicked, AOpenAttachment, &QAction::trigger);
    UpdateAttachmentActions();
}

void ComposeWindow::ShowAttachments(bool shown)
{
    BAdd->setVisible(shown);
    BDelete->setVisible(shown);
    LAttachments->setVisible(shown);
    if (shown)
        LayoutAttachmentColumns();
}

void ComposeWindow::UpdateAttachmentActions()
{
    const bool selected = !sending_ && !LAttachments->selectedItems().isEmpty();
    AOpenAttachment->setEnabled(selected);
    ADeleteAttachment->setEnabled(selected);
    BDelete->setEnabled(selected);
    AAddAttachment->setEnabled(!sending_);
}

void ComposeWindow::LayoutAttachmentColumns()
{
    const int usable = LAttachments->viewport()->width() -
                       (LAttachments->verticalScrollBar()->isVisible()
                            ? 0
                            : LAttachments->verticalScrollBar()->sizeHint().width());
    LAttachments->setColumnWidth(0, usable * 3 / 4);
    LAttachments->setColumnWidth(1, usable - usable * 3 / 4);
}

void ComposeWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutAttachmentColumns();
}

QList<ComposeWindow::Attachment> ComposeWindow::Attachments() const
{
    QList<Attachment> out;
    for (int i = 0; i < LAttachments->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = LAttachments->topLevelItem(i);
        out.append({item->data(0, kPathRole).toString(), item->data(0, kTemporaryRole).toBool()});
    }
    return out;
}

void ComposeWindow::AddAttachmentEntry(const Attachment& attachment, const QString& sizeText)
{
    auto* item = new QTreeWidgetItem(LAttachments);
    item->setText(0, QFileInfo(attachment.path).fileName());
    item->setToolTip(0, attachment.path);
    item->setText(1, sizeText);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, kPathRole, attachment.path);
    item->setData(0, kTemporaryRole, attachment.temporary);
}

void ComposeWindow::AddAttachments(const QStringList& paths)
{
    // Paths compare exactly: on this system two names differing in letter
    // case are two files, and equal names in two folders are both attached.
    QStringList present;
    for (const Attachment& a : Attachments())
        present.append(QFileInfo(a.path).absoluteFilePath());
    for (const QString& p : paths) {
        const QString path = QFileInfo(p).absoluteFilePath();
        if (present.contains(path))
            continue;
        present.append(path);
        QFile f(path);
        QString size = QStringLiteral("???");
        if (f.open(QIODevice::ReadOnly))
            size = SizeText(f.size());
        else
            ShowWarning(TextOr("SendMailWnd", "NoFileAccess", "Can't gain access to file %s.",
                               {QDir::toNativeSeparators(path)}));
        AddAttachmentEntry({path, false}, size);
    }
    if (!paths.isEmpty() && !CBAttachments->isChecked())
        CBAttachments->setChecked(true);
    UpdateAttachmentActions();
}

void ComposeWindow::ChooseAttachments()
{
    if (sending_)
        return;
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDlg"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() == QDialog::Accepted)
        AddAttachments(dialog.selectedFiles());
}

void ComposeWindow::DeleteSelectedAttachments()
{
    if (sending_)
        return;
    const QList<QTreeWidgetItem*> selected = LAttachments->selectedItems();
    for (QTreeWidgetItem* item : selected) {
        if (item->data(0, kTemporaryRole).toBool())
            QFile::remove(item->data(0, kPathRole).toString());
        delete item;
    }
    UpdateAttachmentActions();
}

void ComposeWindow::OpenSelectedAttachment()
{
    const QList<QTreeWidgetItem*> selected = LAttachments->selectedItems();
    if (selected.isEmpty())
        return;
    // The same question as the message's attachment lists ask before a
    // file that could run code, also for files taken from a forwarded
    // message.
    OpenFileWithDesktop(selected.first()->data(0, kPathRole).toString());
}

QString ComposeWindow::PrivateFolder()
{
    if (!privateFolder_) {
        const QString base = TempDirPath();
        privateFolder_ = std::make_unique<QTemporaryDir>(
            (base.isEmpty() ? QDir::tempPath() : base) + QStringLiteral("/compose-XXXXXX"));
    }
    return privateFolder_->isValid() ? privateFolder_->path() : QString();
}

QString ComposeWindow::AdoptTemporaryFile(const QString& path)
{
    // Each file gets a numbered folder of its own inside the window's folder,
    // so it keeps its name and two files of the same name do not meet.
    const QString folder = PrivateFolder();
    if (folder.isEmpty() || QFileInfo(path).absolutePath().startsWith(folder))
        return path;
    QString name = SafeFileName(QFileInfo(path).fileName());
    if (name.isEmpty())
        name = QStringLiteral("attachment");
    QDir dir(folder);
    int n = 1;
    while (dir.exists(QString::number(n)))
        ++n;
    if (!dir.mkdir(QString::number(n)))
        return path;
    QFile(dir.filePath(QString::number(n)))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString target = dir.filePath(QString::number(n) + QLatin1Char('/') + name);
    if (!QFile::rename(path, target)) {
        if (!QFile::copy(path, target))
            return path;
        QFile::remove(path);
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

void ComposeWindow::DeleteTemporaryFiles()
{
    for (const Attachment& a : Attachments())
        if (a.temporary)
            QFile::remove(a.path);
    privateFolder_.reset(); // removes the folder with whatever is left in it
}

QStringList ComposeWindow::DroppedFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            paths.append(url.toLocalFile());
    return paths;
}

void ComposeWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!sending_ && !DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ComposeWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedFiles(event->mimeData());
    if (sending_ || paths.isEmpty())
        return;
    AddAttachments(paths);
    event->acceptProposedAction();
}

bool ComposeWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if (watched == RichEditor && t == QEvent::KeyPress && formatted_ && !sending_)
        return EditorKey(static_cast<QKeyEvent*>(event));
    if (watched == RichEditor && t == QEvent::ShortcutOverride) {
        // The formatting keys go to the editor, not to window shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers().testFlag(Qt::ControlModifier) &&
            !key->modifiers().testFlag(Qt::AltModifier)) {
            switch (key->key()) {
            case Qt::Key_B:
            case Qt::Key_I:
            case Qt::Key_U:
            case Qt::Key_L:
            case Qt::Key_E:
            case Qt::Key_R:
                event->accept();
                return true;
            default:
                break;
            }
        }
    }
    if (t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!DroppedFiles(drop->mimeData()).isEmpty()) {
            if (t == QEvent::Drop)
                dropEvent(drop);
            else if (!sending_)
                drop->acceptProposedAction();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vm
