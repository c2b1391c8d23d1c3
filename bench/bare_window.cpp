// The smallest window program that paints something: one staff-like line. Its start-up
// is the yardstick for the game's.
#include <windows.h>

static LRESULT CALLBACK bareWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
        HGDIOBJ previous = SelectObject(dc, pen);
        MoveToEx(dc, 0, 86, 0);             // where the game's top staff line lies
        LineTo(dc, GetSystemMetrics(SM_CXSCREEN), 86);
        SelectObject(dc, previous);
        DeleteObject(pen);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = bareWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = "BareWindowClass";
    if (!RegisterClassA(&windowClass)) return 0;
    HWND window = CreateWindowExA(0, "BareWindowClass", "Bare window", WS_OVERLAPPEDWINDOW, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  0, 0, instance, 0);
    if (!window) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, 0, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
