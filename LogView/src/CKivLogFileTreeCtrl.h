// The navigation tree: one top-level node per open file and, filled lazily on first expansion,
// the file's method list, namespaces, threads and calls that never returned. Every node owns
// one item data object (CNaviChildItemData.h) that says what it stands for. User-interface
// thread only.
//
// "Sorted" children are in the tree's alphabetical order: texts compared character by character
// ignoring case (Unicode simple case folding), and texts equal but for case compared with case;
// children equal in both keep the order in which the engine gave them. A folder's children are
// built, sorted once and inserted in one call, because inserting one by one at a sorted position
// costs quadratic time in a tree widget and a large trace has hundreds of thousands of calls.
#pragma once

#include "NaviIcons.h"

#include "KivPlatform/Status.h"

#include <QIcon>
#include <QTreeWidget>

#include <array>

class CKivLogFile;
class CNaviChildItemData;
class IKivLogViewApp;
struct IKivLogSysMgr;

class CKivLogFileTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CKivLogFileTreeCtrl(QWidget* parent = nullptr);
    ~CKivLogFileTreeCtrl() override;

    // The main dialog's interface, kept without a reference.
    void SetApp(IKivLogViewApp* app) { m_app = app; }
    // Adds the file's node at the end and expands it, which lists the file's four folders.
    // E_FAIL when the tree has no window (see HasWindow); E_INVALIDARG for a null file.
    HRESULT AddFile(CKivLogFile* file);
    // Clears the current file and the property list, then deletes the file's node with its
    // subtree and their item data. E_FAIL when the tree has no window.
    HRESULT RemoveFile(CKivLogFile* file);
    // The item data of the selected node; null when no node is selected.
    CNaviChildItemData* GetSelectedItemData() const;

    // The item data a node of this tree owns; null for null or a node of another kind.
    static CNaviChildItemData* ItemData(const QTreeWidgetItem* node);

    // The tree has a window once its widget has been created, which showing it (or the window
    // it sits in) does; a tree that was never shown has none, and refuses files.
    bool HasWindow() const;

protected:
    // The engine the tree asks for a file's model; the file's own engine. Tests put a recording
    // engine in between.
    virtual IKivLogSysMgr* GetLogSysMgrOf(CKivLogFile* file) const;

private:
    void OnItemExpanded(QTreeWidgetItem* node);
    void OnSelectionChanged();
    // Replaces the placeholder of node by its children.
    void Fill(QTreeWidgetItem* node, const CNaviChildItemData& data);
    // The index of the file's top-level node; -1 when it has none.
    int FindFileNode(const CKivLogFile* file) const;

    IKivLogViewApp* m_app = nullptr;
    // The nine images, drawn once when the tree is made.
    std::array<QIcon, NaviImageCount> m_images;
};
