// The backend-independent contract, on the Qt backend.
#include "support/contract_suite.h"

#include "qt_support.h"

INSTANTIATE_TEST_SUITE_P(Qt, WindowSystemContract,
                         ::testing::Values(ContractFactory([]() -> std::unique_ptr<tv::WindowSystem> {
                             return tvtest::makeQt();
                         })));
