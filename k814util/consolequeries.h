#pragma once

#include <string>

namespace k814util {

/**
 * @name The console's questions about a test
 * The reports are small and nested; they cross to Python as JSON text, which the package
 * parses.
 * @{
 */

/// JSON of the test metadata and configuration of the file at path (its packets are not read).
std::string testInfoJson(const std::string& path);
/// JSON of the bound file's packets by type, time span and clock state.
/// @throw std::runtime_error while nothing is bound
std::string packetSummaryJson();
/// JSON of the bound file's SEB command sequences with their decoded fields.
std::string sebSequencesJson();
/// The data id the database gives a mnemonic (a key a patch renamed still finds its row); 0
/// when it has none or nothing is bound.
int itemIdOf(const std::string& key);
/// Whether the message log's last line waits for its continuation in a later packet.
bool messageLogPending();

/// @}

}  // namespace k814util
