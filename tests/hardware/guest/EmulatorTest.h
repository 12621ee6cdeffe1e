#pragma once
// The fixture of the bench's engine-level tests: the emulated scanner streaming over bulk or
// isochronous transfers (the test's parameter), its log named after the test and shown when the test
// failed, and the engine in front of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "KernelRig.h"

namespace vistrel::hwtest {

class EmulatorTest : public ::testing::TestWithParam<bool> {
protected:
    bool Isochronous() const { return GetParam(); }
    void StartScanner(EmulatorOptions options = {}, const std::string& logPrefix = "emulator-")
    {
        options.isochronous = Isochronous();
        options.name = logPrefix + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(options.name.begin(), options.name.end(), '/', '-');
        scanner = std::make_unique<EmulatedScanner>(options);
        ASSERT_TRUE(scanner->Start()) << "the kernel made no video node for the emulated scanner";
    }
    void TearDown() override
    {
        if (HasFailure() && scanner) {
            std::cerr << "emulator log (requests only):\n";
            for (const auto& line : scanner->LogMatching("^(?!FRAME)"))
                std::cerr << "  " << line << "\n";
        }
        rig.reset();
        scanner.reset();
    }

    std::unique_ptr<EmulatedScanner> scanner;
    std::unique_ptr<KernelRig> rig = std::make_unique<KernelRig>();
};

inline std::string TransferName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "Isochronous" : "Bulk";
}

} // namespace vistrel::hwtest
