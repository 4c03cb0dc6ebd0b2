// Anchor so the fakes library always has one translation unit.
