// The destructors of the navigation tree's item data, out of line so that each class has one
// home for its virtual table. The members release what they own.
#include "CNaviChildItemData.h"

CNaviChildItemData::~CNaviChildItemData() = default;
CNaviChildItemData_Method::~CNaviChildItemData_Method() = default;
CNaviChildItemData_MethodRefThread::~CNaviChildItemData_MethodRefThread() = default;
CNaviChildItemData_Thread::~CNaviChildItemData_Thread() = default;
CNaviChildItemData_NameItem::~CNaviChildItemData_NameItem() = default;
CNaviChildItemData_MethodLine::~CNaviChildItemData_MethodLine() = default;
