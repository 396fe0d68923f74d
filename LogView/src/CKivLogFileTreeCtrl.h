// The navigation tree: one top-level node per open file and, filled lazily on first expansion,
// the file's method list, namespaces, threads and calls that never returned. User-interface
// thread only.
#pragma once

#include "KivPlatform/Status.h"

#include <QTreeWidget>

class CKivLogFile;
class CNaviChildItemData;
class IKivLogViewApp;

class CKivLogFileTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CKivLogFileTreeCtrl(QWidget* parent = nullptr);
    ~CKivLogFileTreeCtrl() override;

    // The main dialog's interface, kept without a reference.
    void SetApp(IKivLogViewApp* app) { m_app = app; }
    // Adds the file's node at the end and expands it.
    HRESULT AddFile(CKivLogFile* file);
    // Clears the current file and the property list, then deletes the file's node.
    HRESULT RemoveFile(CKivLogFile* file);
    // The item data of the selected node; null when no node is selected.
    CNaviChildItemData* GetSelectedItemData() const;

private:
    IKivLogViewApp* m_app = nullptr;
};
