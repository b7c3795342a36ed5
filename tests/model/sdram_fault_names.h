// Short names of the SDRAM fault kinds, for the tables of faults in the
// tests of the fault model, the monitor and korvane-diagnose.
#pragma once

#include "sdram_faults.h"

constexpr sdram_fault_kind DATA = sdram_fault_kind::data_stuck;
constexpr sdram_fault_kind STUCK = sdram_fault_kind::addr_stuck;
constexpr sdram_fault_kind SHORT = sdram_fault_kind::addr_short;
constexpr sdram_fault_kind SHORT_OR = sdram_fault_kind::addr_short_or;
constexpr sdram_fault_kind DSHORT = sdram_fault_kind::data_short;
constexpr sdram_fault_kind DSHORT_OR = sdram_fault_kind::data_short_or;
constexpr sdram_fault_kind FLOATING = sdram_fault_kind::data_floating;
