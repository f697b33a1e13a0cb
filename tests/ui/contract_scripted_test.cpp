// The backend-independent contract, on the scripted backend (its own probe).
#include "support/contract_suite.h"
#include "backends/scripted/scripted_window_system.h"

INSTANTIATE_TEST_SUITE_P(Scripted, WindowSystemContract, ::testing::Values(ContractFactory{"Scripted", [] {
                             return ContractBackend(std::make_unique<tv::ScriptedWindowSystem>());
                         }}));
