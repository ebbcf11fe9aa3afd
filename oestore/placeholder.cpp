// The Outlook Express store.
