#pragma once

/// Custom messages posted to the main window; the numbers are part of the system.
enum WindowMessage : int
{
    WM_LOGIN_SUCCESS = 2025,    ///< login dialog: login succeeded, carries the login reply
    WM_LOGIN_CANCEL = 2026,     ///< login dialog closed without login
    WM_CURENTRUST_READY = 2034, ///< today's orders replaced
    WM_HISENTRUST_READY = 2035, ///< order history replaced
    WM_POSITION_READY = 2036,   ///< positions refreshed
};
