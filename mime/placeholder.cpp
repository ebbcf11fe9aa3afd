// The MIME component.
