#pragma once

#include <cstdint>

/// ErrorCode values of the demo trade server's refusals. 0 is success; every refusal
/// carries one of these and a Chinese MsgDesc (GBK) that tells the user what is wrong.
namespace DemoError
{
enum : int32_t
{
    // Envelope
    kBadCrc = 1001,          ///< CRC does not match Buff
    kBadPayload = 1002,      ///< Buff is not the request message of the function
    kUnknownFunction = 1003, ///< FunID names no operation
    kBadRequestNum = 1004,   ///< request_num is not a positive whole number
    kBadDates = 1005,        ///< start_date / end_date not dates, or reversed

    // Login and session
    kBadLogin = 2001,            ///< unknown account or wrong password at login
    kSessionExpired = 2002,      ///< token unknown or idle too long
    kFundAccountMismatch = 2003, ///< fund_account is not the session's
    kWrongPassword = 2004,       ///< password of a later request is wrong
    kBranchMismatch = 2005,      ///< branch_no is not the customer's

    // Exercise order
    kUnknownOptionCode = 3001,
    kUnknownStockAccount = 3002,
    kNoPosition = 3003, ///< the shareholder account holds no such option
    kOutsideWindow = 3004,
    kNotWholeNumber = 3005,
    kBelowMinimum = 3006,
    kAboveMaximum = 3007,
    kNotMultipleOfUnit = 3008,
    kAboveAvailable = 3009,

    // Cancel
    kOrderNotFound = 4001,
    kNotCancellable = 4002,
    kExchangeMismatch = 4003,
    kNotTodaysOrder = 4004,

    kSystemError = 9001, ///< the server could not do its part (e.g. no random token)
};
} // namespace DemoError
