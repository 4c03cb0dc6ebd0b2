// Placeholder: replaced by the real implementation.
