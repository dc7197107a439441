// Placeholder for main-window commands whose windows are still being built.
