// Drops files on a window as the shell does: a DROPFILES block with the paths,
// posted as WM_DROPFILES. xdotool cannot drag from a file manager. A memory handle
// means nothing in another process, so the block is written into the target
// process, where a fixed block's address is its handle.
// Usage: DropFiles.exe "<window title>" <path>...
#include <windows.h>
#include <shlobj.h>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    HWND target = FindWindowA(nullptr, argv[1]);
    if (!target) {
        fprintf(stderr, "no window %s\n", argv[1]);
        return 1;
    }
    std::string names;
    for (int i = 2; i < argc; ++i) {
        names += argv[i];
        names += '\0';
    }
    names += '\0';
    std::string block(sizeof(DROPFILES), '\0');
    auto* drop = reinterpret_cast<DROPFILES*>(&block[0]);
    drop->pFiles = sizeof(DROPFILES);
    drop->pt.x = drop->pt.y = 10;
    drop->fWide = FALSE;
    block += names;

    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* remote =
        process ? VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (!remote || !WriteProcessMemory(process, remote, block.data(), block.size(), nullptr)) {
        fprintf(stderr, "cannot write into process %lu\n", (unsigned long)pid);
        return 1;
    }
    if (!PostMessageA(target, WM_DROPFILES, (WPARAM)remote, 0))
        return 1;
    CloseHandle(process);
    return 0;
}
