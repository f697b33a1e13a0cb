// The backend-independent contract, on the Qt backend and its probe.
#include "support/contract_suite.h"

#include "qt_support.h"

INSTANTIATE_TEST_SUITE_P(Qt, WindowSystemContract, ::testing::Values(ContractFactory{"Qt", [] {
                             auto ui = tvtest::makeQt();
                             auto probe = std::make_unique<tv::QtProbe>(*ui);
                             return ContractBackend(std::move(ui), std::move(probe));
                         }}));
