// Walking windows one GetWindow step at a time, for the probes that look
// at another process's windows while it may be destroying them.
#pragma once

#include <windows.h>

typedef BOOL(CALLBACK* WindowVisit)(HWND, LPARAM);

// Calls visit(window, param) for first and each sibling after it in Z order,
// and for their children too when deep; stops when visit returns FALSE.
//
// Not EnumChildWindows, nor a FindWindowEx chain from a given window: both
// have the window server list the siblings that follow a window. Asked that
// for a window whose process is destroying it at that moment (a box being
// closed, a message-only window going away), Wine 10's server walks its
// list of unlinked windows and never returns, and answers no one again.
// GetWindow asks for one neighbour at a time, and a window being destroyed
// has none. A window destroyed mid-walk ends that level early, as it may end
// an enumeration's; the cap keeps Z-order changes from making a loop of it.
inline bool WalkSiblings(HWND first, bool deep, WindowVisit visit, LPARAM param) {
    const int kMostSiblings = 4096;
    int seen = 0;
    for (HWND window = first; window && seen < kMostSiblings;
         window = GetWindow(window, GW_HWNDNEXT), ++seen) {
        if (!visit(window, param)) return false;
        if (deep && !WalkSiblings(GetWindow(window, GW_CHILD), true, visit, param)) return false;
    }
    return true;
}

// The same for the children of parent (and theirs when deep).
inline bool WalkChildren(HWND parent, bool deep, WindowVisit visit, LPARAM param) {
    return WalkSiblings(GetWindow(parent, GW_CHILD), deep, visit, param);
}

struct ChildIdSearch {
    LONG_PTR id;
    HWND found;
};

inline BOOL CALLBACK MatchChildId(HWND window, LPARAM param) {
    ChildIdSearch* search = reinterpret_cast<ChildIdSearch*>(param);
    if (GetWindowLongPtrW(window, GWLP_ID) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

// The child of parent with control id, or null. Not GetDlgItem: Wine's has
// the server list the siblings after the first child (see WalkSiblings).
inline HWND ChildWithId(HWND parent, int id) {
    ChildIdSearch search = {id, NULL};
    WalkChildren(parent, false, MatchChildId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
