#pragma once

#include <string>

/// Enumerations and constants shared by every mission library.
namespace Gse {

/// Which value of a telemetry item is wanted.
enum class ValueMode : int { Raw = 0, Eng = 1, Sci = 2 };

/// Export class of a mnemonic for the external mining database.
enum QuipMineType : int { QuipNone = 0, QuipBin = 1, QuipDelta = 2, QuipAll = 3, QuipBlob = 4 };

/// Mission names as tm.meta writes them; always compared ignoring case.
inline const std::wstring MISSION_VIREO{L"vireo"};
inline const std::wstring MISSION_LUMO{L"lumo"};
inline const std::wstring MISSION_TARN{L"tarn"};
inline const std::wstring MISSION_AZU{L"azu"};

}  // namespace Gse
