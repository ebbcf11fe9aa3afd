// The Outlook source.
