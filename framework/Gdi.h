// Owners for device contexts and GDI objects: every path out of a handler restores
// the old selection and frees what it made.
#pragma once
#include <windows.h>

class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = BeginPaint(hWnd, &m_ps); }
    ~CPaintDC() { EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    operator HDC() const { return m_hDC; }
    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A DC from GetDC, released on scope exit. GetDC(NULL) is the screen.
class CClientDC {
public:
    explicit CClientDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(GetDC(hWnd)) {}
    ~CClientDC() {
        if (m_hDC)
            ReleaseDC(m_hWnd, m_hDC);
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A DC we created (CreateDC, CreateCompatibleDC), deleted on scope exit.
class CCreatedDC {
public:
    explicit CCreatedDC(HDC hDC) : m_hDC(hDC) {}
    ~CCreatedDC() {
        if (m_hDC)
            DeleteDC(m_hDC);
    }
    CCreatedDC(const CCreatedDC&) = delete;
    CCreatedDC& operator=(const CCreatedDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HDC m_hDC;
};

// Selects an object into a DC and puts the previous one back on scope exit.
class CSelectObject {
public:
    CSelectObject(HDC hDC, HGDIOBJ obj) : m_hDC(hDC), m_old(SelectObject(hDC, obj)) {}
    ~CSelectObject() {
        if (m_old && m_old != HGDI_ERROR)
            SelectObject(m_hDC, m_old);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_old;
};

// Selects a palette and puts the previous one back on scope exit.
class CSelectPalette {
public:
    CSelectPalette(HDC hDC, HPALETTE pal, BOOL background = FALSE)
        : m_hDC(hDC), m_old(pal ? SelectPalette(hDC, pal, background) : nullptr) {}
    ~CSelectPalette() {
        if (m_old)
            SelectPalette(m_hDC, m_old, TRUE);
    }
    CSelectPalette(const CSelectPalette&) = delete;
    CSelectPalette& operator=(const CSelectPalette&) = delete;

private:
    HDC m_hDC;
    HPALETTE m_old;
};

// Owns a GDI object (bitmap, brush, palette...) and deletes it unless released.
template <class T> class CGdiObject {
public:
    explicit CGdiObject(T obj = nullptr) : m_obj(obj) {}
    ~CGdiObject() {
        if (m_obj)
            DeleteObject(m_obj);
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    operator T() const { return m_obj; }
    T Release() {
        T obj = m_obj;
        m_obj = nullptr;
        return obj;
    }

private:
    T m_obj;
};
