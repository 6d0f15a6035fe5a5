#pragma once

#include <cstdint>

/// The function numbers of the trade server's operations, as the envelope's FunID
/// carries them. The client and the demo server both read them from here.
enum FunctionNumber : int32_t
{
    kFunLogin = 200,
    kFunQryStockAcc = 407,
    kFunEntrust = 9865,
    kFunCanEntrust = 9866,
    kFunQryEntrust = 9867,
    kFunQryHisEntrust = 9868,
    kFunQryOptCode = 9869,
    kFunQryPosCode = 9870,
};
