#pragma once

#include <mutex>

// Bytes that the bodies being received may hold together. A connection that
// announces a large body takes its length from the budget before it reads
// the body and gives it back when the request is over; when too little is
// left, the announcement is refused, so a crowd of peers announcing large
// bodies cannot make the service hold more than the budget between them.
class PayloadBudget {
public:
    explicit PayloadBudget(long long total);
    PayloadBudget(const PayloadBudget&) = delete;
    PayloadBudget& operator=(const PayloadBudget&) = delete;

    // Takes bytes from the budget; false, taking nothing, when fewer are left.
    bool Take(long long bytes);
    void Give(long long bytes);
    // Changes the total; bytes already taken stay taken.
    void SetTotal(long long total);
    long long Left();

private:
    std::mutex mutex;
    long long total;
    long long taken = 0;
};
