// Web content: the HTML scanner and the link download.
