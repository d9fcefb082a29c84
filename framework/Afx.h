// Kestrel's small application framework: include this for all of it.
#pragma once
#include <windows.h>
#include "framework/CmdTarget.h"
#include "framework/Wnd.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/Gdi.h"
#include "framework/HostPath.h"
#include "framework/HelpFile.h"
