#include "support/FamilyError.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Expected {
    std::unique_ptr<ZylBasException> error;
    int code;
    const char* message;
};

template <class Error, class... Args>
Expected Make(int code, const char* message, Args... args)
{
    return {std::make_unique<Error>(args...), code, message};
}

} // namespace

TEST(ErrorFamily, EveryTypeHasItsNumberAndMessage)
{
    std::vector<Expected> all;
    all.push_back(Make<ZylSrvMtxNoSymmetricTrue>(201, "ZylSrvSparseMatrix::PermuteRows symmetric:True not supported!", "PermuteRows"));
    all.push_back(Make<ZylSrvMtxOpenFileException>(202, "ZylSrvSparseImExPorter: Failed to open file a.dat.", "a.dat"));
    all.push_back(Make<ZylSrvMtxInvalidGetRange>(203, "ZylSrvDenseMatrix::GetValues invalid range values."));
    all.push_back(Make<ZylSrvMtxInvalidSetRange>(204, "ZylSrvDenseMatrix::SetValues invalid range values."));
    all.push_back(Make<ZylSrvMtxIllegalInput>(206, "ZylSrvMatrix::Interpolate - Illegal input.", "Interpolate"));
    all.push_back(Make<ZylSrvMtxUnsupportedExpFmt>(207, "ZylSrvSparseImExPorter: Unsupported export format."));
    all.push_back(Make<ZylSrvMtxFileWriteFailure>(208, "Error at writing to file: ZylSrvDenseMatrix::SetValues\ndisk full",
                                                  "ZylSrvDenseMatrix::SetValues\ndisk full"));
    all.push_back(Make<ZylSrvMtxNoUnsymmetric>(209, "ZylSrvSparseMatrix::Export symmetric:False not supported!"));
    all.push_back(Make<ZylSrvMtxUnsupportedImpFmt>(210, "ZylSrvSparseImExPorter: Unsupported import format."));
    all.push_back(Make<ZylSrvMtxNoTranspose>(211, "ZylSrvSparseMatrix::MultiplyIndexed transpose:False not supported!"));
    all.push_back(Make<ZylSrvMtxIllegalPermVect>(212, "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector."));
    all.push_back(Make<ZylSrvMtxSolveIllegalArg>(213, "ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument 4.", 4));
    all.push_back(Make<ZylSrvMtxSolveNotConverge>(214, "ZylSrvMatrix::SolveEigenproblemSymmetric - Eigensolver did not converge."));
    all.push_back(Make<ZylSrvMtxSolveNotPositive>(215, "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite."));
    all.push_back(Make<ZylSrvMtxDivByZero>(218, "ZylSrvMatrix::Factorize - division by 0."));
    for (const Expected& e : all) {
        EXPECT_EQ(e.error->ErrorCode(), e.code);
        EXPECT_STREQ(e.error->AsString().Chars(), e.message) << e.code;
        EXPECT_STREQ(e.error->UserReport().Chars(), e.message);
        EXPECT_EQ(e.error->File(), nullptr) << "no location before Throw";
        EXPECT_EQ(e.error->Line(), 0);
    }
}

TEST(ErrorFamily, ThrowRaisesTheMostDerivedTypeWithItsLocation)
{
    // Raised through the protocol every raise site uses, as a caller catching the base class sees it.
    const char* const source = "mtx/impl/ZylSrvMatrix";
    zyltest::ExpectFamilyError<ZylSrvMtxIllegalInput>([&] { ZylSrvMtxIllegalInput("Factorize").Throw(source, 120); },
                                                      206, "ZylSrvMatrix::Factorize - Illegal input.", source);
    zyltest::ExpectFamilyError<ZylSrvMtxSolveIllegalArg>(
        [&] { ZylSrvMtxSolveIllegalArg(7).Throw(source, 121); }, 213,
        "ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument 7.", source);
    zyltest::ExpectFamilyError<ZylSrvMtxDivByZero>([&] { ZylSrvMtxDivByZero().Throw(source, 122); }, 218,
                                                   "ZylSrvMatrix::Factorize - division by 0.", source);
    zyltest::ExpectFamilyError<ZylSrvMtxOpenFileException>([&] { ZylSrvMtxOpenFileException("x").Throw(source, 123); },
                                                           202, "ZylSrvSparseImExPorter: Failed to open file x.", source);
}

// The developer report: the message, the detail if there is one, then the
// class's path with the line, or with the helper file that raised and the
// line there. It is the base's report for every type.
TEST(ErrorFamily, DeveloperReportNamesTheClassPathAndTheHelperFileThatRaised)
{
    const char* const porter = "mtx/impl/ZylSrvSparseImExPorter";
    const char* const detail = "line 3 (byte 20): expected a value, found 'q'";
    const struct {
        std::function<void()> raise;
        const char* report;
    } table[] = {
        {[] { ZylSrvMtxInvalidGetRange().Throw("mtx/impl/ZylSrvDenseMatrix", 530); },
         "ZylSrvDenseMatrix::GetValues invalid range values. [mtx/impl/ZylSrvDenseMatrix:530]"},
        {[] {
             ZylSrvMtxIllegalInput("EndAssembly")
                 .Throw("mtx/impl/ZylSrvSparseMatrix", "internal/ZylSrvTripletAssembly.cpp", 193);
         },
         "ZylSrvMatrix::EndAssembly - Illegal input. [mtx/impl/ZylSrvSparseMatrix (internal/ZylSrvTripletAssembly.cpp:193)]"},
        {[&] { ZylSrvMtxOpenFileException("m.txt", detail).Throw(porter, 9); },
         "ZylSrvSparseImExPorter: Failed to open file m.txt. line 3 (byte 20): expected a value, found 'q' "
         "[mtx/impl/ZylSrvSparseImExPorter:9]"},
        {[&] { ZylSrvMtxOpenFileException("m.txt", detail).Throw(porter, "internal/ZylSrvSparseText.cpp", 441); },
         "ZylSrvSparseImExPorter: Failed to open file m.txt. line 3 (byte 20): expected a value, found 'q' "
         "[mtx/impl/ZylSrvSparseImExPorter (internal/ZylSrvSparseText.cpp:441)]"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.report);
        try {
            row.raise();
        } catch (const ZylBasException& e) {
            EXPECT_STREQ(e.DeveloperReport().Chars(), row.report);
            EXPECT_STREQ(e.ZylBasException::DeveloperReport().Chars(), row.report);
        }
    }
}

TEST(ErrorFamily, CopiesKeepTheirTextAndOutliveTheOriginal)
{
    auto original = std::make_unique<ZylSrvMtxOpenFileException>("matrix.bin", "row offsets at byte 24: 3 > 2");
    ZylSrvMtxOpenFileException copy(*original);
    original.reset();
    EXPECT_STREQ(copy.UserReport().Chars(), "ZylSrvSparseImExPorter: Failed to open file matrix.bin.");
    try {
        copy.Throw("mtx/impl/ZylSrvSparseImExPorter", 9);
    } catch (const ZylBasException& e) {
        EXPECT_STREQ(e.DeveloperReport().Chars(), "ZylSrvSparseImExPorter: Failed to open file matrix.bin. row offsets "
                                                  "at byte 24: 3 > 2 [mtx/impl/ZylSrvSparseImExPorter:9]");
    }

    ZylSrvMtxIllegalInput input("Add");
    const ZylSrvMtxIllegalInput inputCopy(input);
    EXPECT_STREQ(inputCopy.AsString().Chars(), "ZylSrvMatrix::Add - Illegal input.");
}
