#include "framework/CmdTarget.h"

const MessageMap* CCmdTarget::GetThisMessageMap() {
    static const MessageMapEntry entries[] = {{0, 0, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

bool CCmdTarget::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const MessageMapEntry* e = map->entries; e->handler; ++e) {
            if (e->message == message && e->id == id) {
                *result = e->handler(this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

bool CCmdTarget::DispatchCommand(UINT id) {
    LRESULT ignored;
    return DispatchMessageMap(WM_COMMAND, MAKEWPARAM(id, 0), 0, &ignored);
}
