// The geometry objects: a rectangle, a point, a size and a colour, each a counted object that
// holds one record. Not thread-safe: each object belongs to its user.
#pragma once

#include "KivCommon/KivGeometry.h"

#include "KivObject/InterfaceMap.h"

namespace Kiv {

// Holds one record of type Record behind interface Interface: Get and Set copy it whole.
template <class Interface, class Record>
class CKivRecordHolder : public Interface {
public:
    HRESULT Get(Record* record) override
    {
        if (record == nullptr) {
            return E_INVALIDARG;
        }
        *record = m_record;
        return S_OK;
    }
    HRESULT Set(const Record* record) override
    {
        if (record == nullptr) {
            return E_INVALIDARG;
        }
        m_record = *record;
        return S_OK;
    }
    // Takes the record's values at creation; null leaves them all 0.
    void Assign(const Record* record)
    {
        if (record != nullptr) {
            m_record = *record;
        }
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {Interface::Iid, this}}, riid, ppv);
    }

protected:
    Record m_record{};
};

class CKivRect : public CKivRecordHolder<IKivRect, KivRectF> {
public:
    float GetLeft() override { return m_record.left; }
    float GetTop() override { return m_record.top; }
    float GetRight() override { return m_record.right; }
    float GetBottom() override { return m_record.bottom; }
    void SetLeft(float value) override { m_record.left = value; }
    void SetTop(float value) override { m_record.top = value; }
    void SetRight(float value) override { m_record.right = value; }
    void SetBottom(float value) override { m_record.bottom = value; }
};

class CKivPoint : public CKivRecordHolder<IKivPoint, KivPointF> {
public:
    float GetX() override { return m_record.x; }
    float GetY() override { return m_record.y; }
    void SetX(float value) override { m_record.x = value; }
    void SetY(float value) override { m_record.y = value; }
};

class CKivSize : public CKivRecordHolder<IKivSize, KivSizeF> {
public:
    float GetWidth() override { return m_record.width; }
    float GetHeight() override { return m_record.height; }
    void SetWidth(float value) override { m_record.width = value; }
    void SetHeight(float value) override { m_record.height = value; }
};

// The components are stored in the order 3, 2, 1, 4.
class CKivColor : public CKivRecordHolder<IKivColor, KivColorF> {
public:
    float GetComponent1() override { return m_record.component1; }
    float GetComponent2() override { return m_record.component2; }
    float GetComponent3() override { return m_record.component3; }
    float GetComponent4() override { return m_record.component4; }
    void SetComponent1(float value) override { m_record.component1 = value; }
    void SetComponent2(float value) override { m_record.component2 = value; }
    void SetComponent3(float value) override { m_record.component3 = value; }
    void SetComponent4(float value) override { m_record.component4 = value; }
};

} // namespace Kiv
