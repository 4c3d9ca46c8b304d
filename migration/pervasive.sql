-- Item-comment migration, Pervasive wording.
-- Line 1 reads the flagged quote lines; line 2 inserts one comment row with five parameters:
-- QuoteID, Line, CoInType, Number, CommIns.
SELECT QuoteID,Line,deItemComType,deItemCom FROM Details WHERE (deHasItemCom = 1)
INSERT INTO CommIns (QuoteID,Line,CoInType,Number,CommIns) VALUES (?,?,?,?,?)
