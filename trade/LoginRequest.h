#pragma once

#include <string>

#include "WrappedMessage.pb.h"

/// The login request as the terminal sends it: the user name goes out as both the input
/// and the account content, exactly as typed, beside the fixed branch and entrust way.
/// Texts are GBK.
inline void FillLoginRequest(const std::string& user, const std::string& password,
                             quorvanta::MsgLogin_req& req)
{
    req.Clear();
    req.set_op_branch_no(9999);
    req.set_op_entrust_way("5");
    req.set_input_content(user);
    req.set_content_type("0");
    req.set_account_content(user);
    req.set_password(password);
}

inline quorvanta::MsgLogin_req MakeLoginRequest(const std::string& user,
                                                const std::string& password)
{
    quorvanta::MsgLogin_req req;
    FillLoginRequest(user, password, req);
    return req;
}
