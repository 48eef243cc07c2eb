#pragma once

// Outcome of one request/reply transaction with the converter. Callers test for Success.
enum LinkResult : int
{
    NoReply = 1, // no complete reply line within the time-out
    Success = 2,
    BadReply = 3, // a line arrived but failed the checks
};
