-- Item-comment migration, Pervasive wording.
-- Line 1 reads the flagged quote lines; line 2 inserts one comment row with five parameters:
-- QuoteID, Line, CoInType, Number, CommIns. Line 3 reads the comment rows with Number 1 already in
-- CommIns, so that a run after an interrupted one passes over the lines whose very comment it copied.
-- Line 4 counts the flagged lines, for the progress shown on a terminal during a long migration.
SELECT QuoteID,Line,deItemComType,deItemCom FROM Details WHERE (deHasItemCom = 1)
INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) VALUES (?,?,?,?,?)
SELECT QuoteID,Line,CoInType,CommIns FROM CommIns WHERE (Number = 1)
SELECT COUNT(*) FROM Details WHERE (deHasItemCom = 1)
