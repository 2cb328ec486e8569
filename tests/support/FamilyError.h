#ifndef TESTS_SUPPORT_FAMILYERROR_H
#define TESTS_SUPPORT_FAMILYERROR_H
// Checks of raised errors: a family error with its exact number, message and
// raising source, and a database error with its number and a key fragment of
// its text (the database words its own texts; the number is the contract).
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvException.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace zyltest {

// Runs f, which must raise ErrorType with `number` and exactly `message`,
// recorded at `source` (e.g. "mtx/impl/ZylSrvMatrix"; empty: not checked).
template <typename ErrorType, typename F>
void ExpectFamilyError(F&& f, int number, const std::string& message, const std::string& source = "")
{
    try {
        f();
        ADD_FAILURE() << "expected error " << number << " \"" << message << "\"";
    } catch (const ZylBasException& e) {
        EXPECT_NE(dynamic_cast<const ErrorType*>(&e), nullptr) << "caught " << e.AsString().Chars();
        EXPECT_EQ(e.ErrorCode(), number);
        EXPECT_EQ(std::string(e.AsString().Chars()), message);
        if (!source.empty()) {
            EXPECT_EQ(std::string(e.File() ? e.File() : ""), source);
            EXPECT_GT(e.Line(), 0);
        }
    }
}

// 206 "ZylSrvMatrix::<operation> - Illegal input.", raised at `source`.
template <typename F>
void ExpectIllegalInput(F&& f, const std::string& operation, const std::string& source = "")
{
    ExpectFamilyError<ZylSrvMtxIllegalInput>(f, 206, "ZylSrvMatrix::" + operation + " - Illegal input.", source);
}

// Runs f, which must raise ZylDorvException; returns it (number 0 when not).
template <typename F>
ZylDorvException CatchDorv(F&& f)
{
    try {
        f();
    } catch (const ZylDorvException& e) {
        return e;
    }
    ADD_FAILURE() << "no ZylDorvException was raised";
    return ZylDorvException(0, "");
}

} // namespace zyltest

// The statement raises database error `number` whose text contains `fragment`.
#define EXPECT_DORV_ERROR(statement, number, fragment)                                    \
    do {                                                                                  \
        const ZylDorvException caught_ = ::zyltest::CatchDorv([&] { statement; });        \
        EXPECT_EQ(caught_.Number(), number);                                              \
        EXPECT_THAT(caught_.Description(), ::testing::HasSubstr(fragment));               \
    } while (0)

#endif
