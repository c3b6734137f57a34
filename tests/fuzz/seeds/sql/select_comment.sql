-- comment
SELECT * FROM "a""b" /* block */