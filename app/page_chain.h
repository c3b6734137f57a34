// Runs the wizard's pages one after the other until the user leaves: first page,
// second page, "prev" back to a fresh first page, and so on. Each page is a modal
// dialog that ends before the next one opens, so the stack does not grow with
// every Next and "prev"; only the newest page is ever visible.
#pragma once

namespace talvoro::app {

// Returns when the last page has closed. Opens the maker's web page where the
// chain's rule says so.
void RunPageChain();

}  // namespace talvoro::app
