-- SQL Server, phase one: new tables, keys and the standard grid rows
-- One statement per line, sent exactly as written, in this order; statements are
-- numbered from 1 by their position. Lines that start with "--@" are directives:
--   --@progress N            set the progress bar to N
--   --@probe QUERY           run the GridColumns probe with QUERY
--   --@probe-deletes SQL     the probe removes the row it found with SQL
--   --@if-probe true|false   the lines up to --@end-if run only on that answer
--   --@migration             run the item-comment migration
--   --@after-success N       send the next statement only if statement N succeeded
--                            in this run (a drop that follows the copy of its values)
--   --@after-migration       send the next statement only after a complete migration
-- Other lines that start with "--" are comments.
CREATE TABLE [dbo].[GridColumns] ([ColumnID] [int] IDENTITY (1, 1) NOT NULL, [ColName] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [ColOrder] [tinyint] NOT NULL, [ColShow] [tinyint] NOT NULL, [ColEdit] [tinyint] NOT NULL, [ColWidth] [int] NOT NULL) ON [PRIMARY];
CREATE TABLE [dbo].[PricePermission] ([UserName] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [DisallowAll] [tinyint] NOT NULL, [NoProfit] [tinyint] NOT NULL, [NoBasePrice] [tinyint] NOT NULL, [NoDiscount] [tinyint] NOT NULL, [NoTaxes] [tinyint] NOT NULL, [NoCustomer] [tinyint] NOT NULL, [NoCharges] [tinyint] NOT NULL) ON [PRIMARY];
CREATE TABLE [dbo].[CustItemMap] ([MapID] [int] IDENTITY (1, 1) NOT NULL , [AccpacID] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [APItem] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [CustItem] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [Description] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
CREATE TABLE [dbo].[DLocRange] ([DLRID] [int] IDENTITY (1, 1) NOT NULL, [RName] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [RStart] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [REnd] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL ) ON [PRIMARY];
CREATE TABLE [dbo].[OptionalOE52] ([QuoteID] [int] NOT NULL, [optNumber] [tinyint] NOT NULL, [optName] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [optTable] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optValue] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optDesc] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
CREATE TABLE [dbo].[OptionalAR52] ([CustomerID] [int] NOT NULL, [optNumber] [tinyint] NOT NULL, [optName] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [optTable] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optValue] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optDesc] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
CREATE TABLE [dbo].[OptionalIC52] ([ItemID] [int] NOT NULL, [optNumber] [tinyint] NOT NULL, [optName] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [optTable] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optValue] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [optDesc] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
--@progress 5
ALTER TABLE [dbo].[GridColumns] WITH NOCHECK ADD CONSTRAINT [PK_GridColumns] PRIMARY KEY CLUSTERED ([ColumnID])  ON [PRIMARY] , CONSTRAINT [DF_GridColumns_ColOrder] DEFAULT (0) FOR [ColOrder], CONSTRAINT [DF_GridColumns_ColShow] DEFAULT (1) FOR [ColShow], CONSTRAINT [DF_GridColumns_ColEdit] DEFAULT (1) FOR [ColEdit], CONSTRAINT [DF_GridColumns_ColWidth] DEFAULT (0) FOR [ColWidth];
ALTER TABLE [dbo].[PricePermission] WITH NOCHECK ADD CONSTRAINT [PK_PricePermission] PRIMARY KEY CLUSTERED ([UserName])  ON [PRIMARY] , CONSTRAINT [DF_PricePermission_DisallowAll] DEFAULT (1) FOR [DisallowAll], CONSTRAINT [DF_PricePermission_NoProfit] DEFAULT (0) FOR [NoProfit], CONSTRAINT [DF_PricePermission_NoBasePrice] DEFAULT (0) FOR [NoBasePrice], CONSTRAINT [DF_PricePermission_NoDiscount] DEFAULT (0) FOR [NoDiscount], CONSTRAINT [DF_PricePermission_NoTaxes] DEFAULT (0) FOR [NoTaxes], CONSTRAINT [DF_PricePermission_NoCustomer] DEFAULT (0) FOR [NoCustomer], CONSTRAINT [DF_PricePermission_NoCharges] DEFAULT (0) FOR [NoCharges];
ALTER TABLE [dbo].[CustItemMap] ADD CONSTRAINT [PK_CustItemMap] PRIMARY KEY CLUSTERED ([MapID])  ON [PRIMARY];
ALTER TABLE [dbo].[DLocRange] ADD CONSTRAINT [PK_DLocRange] PRIMARY KEY CLUSTERED ([DLRID])  ON [PRIMARY];
ALTER TABLE [dbo].[OptionalOE52] ADD CONSTRAINT [PK_OptionalOE52] PRIMARY KEY CLUSTERED ([QuoteID], [optNumber])  ON [PRIMARY];
ALTER TABLE [dbo].[OptionalOE52] ADD CONSTRAINT [FK_OptionalOE52_Quote] FOREIGN KEY ([QuoteID]) REFERENCES [dbo].[Quote] ([QuoteID]);
ALTER TABLE [dbo].[OptionalAR52] ADD CONSTRAINT [PK_OptionalAR52] PRIMARY KEY CLUSTERED ([CustomerID], [optNumber])  ON [PRIMARY];
ALTER TABLE [dbo].[OptionalAR52] ADD CONSTRAINT [FK_OptionalAR52_Customer] FOREIGN KEY ([CustomerID]) REFERENCES [dbo].[Customer] ([CustomerID]);
ALTER TABLE [dbo].[OptionalIC52] ADD CONSTRAINT [PK_OptionalIC52] PRIMARY KEY CLUSTERED ([ItemID], [optNumber])  ON [PRIMARY];
ALTER TABLE [dbo].[OptionalIC52] ADD CONSTRAINT [FK_OptionalIC52_Items] FOREIGN KEY ([ItemID]) REFERENCES [dbo].[Items] ([ItemID]);
--@progress 10
--@probe SELECT * FROM [GridColumns] WHERE ([ColumnID] = 1);
--@if-probe false
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Line',1,1,0,435);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Line Type',2,1,0,885);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Item Type',3,1,0,1245);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Item Number',4,1,1,1305);
--@progress 15
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Customer Item',5,1,1,1230);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Description',6,1,1,2640);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Quantity',7,1,1,900);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Quote UOM',8,1,1,990);
--@progress 20
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Unit Price',9,1,1,1050);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Pricing UOM',10,1,0,1035);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Base Price',11,1,1,990);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Item Total',12,1,0,1200);
--@progress 25
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Item Cost',13,1,1,1110);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Profit',14,1,0,900);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Margin',15,1,1,975);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Price List',16,1,1,960);
--@progress 30
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Location',17,1,1,1110);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Category',18,1,1,900);
INSERT INTO [dbo].[GridColumns]([ColName],[ColOrder],[ColShow],[ColEdit],[ColWidth]) VALUES ('Comments/Instructions',19,1,0,1710);
--@end-if
CREATE TABLE [dbo].[MultiTrans] ([QuoteID] [int] IDENTITY (1, 1) NOT NULL, [RName] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL) ON [PRIMARY];
CREATE TABLE [dbo].[TerrVal] ([TerritoryID] [int] IDENTITY (1, 1) NOT NULL, [TerrUser] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [TerrValue] [varchar] (6) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
CREATE TABLE [dbo].[CustQuota] ([QuotaID] [int] IDENTITY (1, 1) NOT NULL, [AccpacID] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [qaStart] [datetime] NULL, [qaEnd] [datetime] NULL, [qaValue] [decimal](10, 2) NOT NULL, [qaUsed] [decimal](10, 2) NOT NULL, [qaFilled] [datetime] NULL, [qaUserEnter] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [qaDateEnter] [datetime] NULL) ON [PRIMARY];
CREATE TABLE [dbo].[CateQuota] ([CatQuotaID] [int] IDENTITY (1, 1) NOT NULL, [Category] [varchar] (15) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [DrawDown] [decimal](18, 2) NOT NULL, [UserEnter] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [DateEnter] [datetime] NULL, [UserModify] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [DateModify] [datetime] NULL) ON [PRIMARY];
CREATE TABLE [dbo].[CreditNote] ([CNID] [int] IDENTITY (1, 1) NOT NULL, [CNNumber] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [CustNumber] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [InvNumber] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [PONumber] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [CNDate] [datetime] NULL, [ReturnDate] [datetime] NULL, [ShipToLoc] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Location] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Description] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Reference] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [InvDate] [datetime] NULL, [OrderNum] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Exported] [bit] NOT NULL, [EnteredBy] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Entered] [datetime] NULL, [ModifiedBy] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Modified] [datetime] NULL) ON [PRIMARY];
CREATE TABLE [dbo].[CNDetail] ([CNID] [int] NOT NULL, [LineNum] [int] NOT NULL, [LineType] [tinyint] NOT NULL, [CreditType] [tinyint] NOT NULL, [ItemNum] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [ItemDesc] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [QtyShipped] [decimal](18, 4) NOT NULL, [QtyReturn] [decimal](18, 4) NOT NULL, [CNUnit] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [ConvFactor] [decimal](18, 4) NOT NULL, [CNPrice] [money] NOT NULL, [PriceList] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Category] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [Location] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [TaxClass1] [tinyint] NULL, [TaxClass2] [tinyint] NULL, [TaxClass3] [tinyint] NULL, [TaxClass4] [tinyint] NULL, [TaxClass5] [tinyint] NULL, [TaxIncl1] [bit] NULL, [TaxIncl2] [bit] NULL, [TaxIncl3] [bit] NULL, [TaxIncl4] [bit] NULL, [TaxIncl5] [bit] NULL, [TRate1] [decimal](18, 4) NULL, [TRate2] [decimal](18, 4) NULL, [TRate3] [decimal](18, 4) NULL, [TRate4] [decimal](18, 4) NULL, [TRate5] [decimal](18, 4) NULL) ON [PRIMARY];
ALTER TABLE [dbo].[TerrVal] WITH NOCHECK ADD CONSTRAINT [PK_TerrVal] PRIMARY KEY CLUSTERED ([TerritoryID]) ON [PRIMARY];
ALTER TABLE [dbo].[CustQuota] WITH NOCHECK ADD CONSTRAINT [PK_CustQuota] PRIMARY KEY CLUSTERED ([QuotaID]) ON [PRIMARY];
ALTER TABLE [dbo].[CateQuota] WITH NOCHECK ADD CONSTRAINT [PK_CateQuota] PRIMARY KEY CLUSTERED ([CatQuotaID]) ON [PRIMARY];
ALTER TABLE [dbo].[CustQuota] ADD CONSTRAINT [DF_CustQuota_qaValue] DEFAULT (0) FOR [qaValue], CONSTRAINT [DF_CustQuota_qaUsed] DEFAULT (0) FOR [qaUsed];
ALTER TABLE [dbo].[CateQuota] ADD CONSTRAINT [DF_CateQuota_DrawDown] DEFAULT (1) FOR [DrawDown];
ALTER TABLE [dbo].[CreditNote] ADD CONSTRAINT [DF_CreditNote_Exported] DEFAULT (0) FOR [Exported], CONSTRAINT [PK_CreditNote] PRIMARY KEY  CLUSTERED ([CNID]) ON [PRIMARY]
ALTER TABLE [dbo].[CNDetail] ADD CONSTRAINT [DF_CNDetail_LineType] DEFAULT (0) FOR [LineType], CONSTRAINT [DF_CNDetail_CreditType] DEFAULT (0) FOR [CreditType], CONSTRAINT [DF_CNDetail_QtyReturn1] DEFAULT (0) FOR [QtyShipped], CONSTRAINT [DF_CNDetail_QtyReturn] DEFAULT (0) FOR [QtyReturn], CONSTRAINT [DF_CNDetail_ConvFactor] DEFAULT (1) FOR [ConvFactor], CONSTRAINT [DF_CNDetail_CNPrice] DEFAULT (0) FOR [CNPrice], CONSTRAINT [PK_CNDetail] PRIMARY KEY  CLUSTERED ([CNID],[LineNum]) ON [PRIMARY];
CREATE TABLE [dbo].[CommIns] ([QuoteID] [int] NOT NULL, [Line] [int] NOT NULL, [CoInType] [tinyint] NOT NULL, [Number] [int] NOT NULL, [CommIns] [varchar] (80) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [DateEnter] [datetime] NULL, [UserEnter] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [DateModify] [datetime] NULL, [UserModify] [varchar] (20) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY];
ALTER TABLE [dbo].[CommIns] WITH NOCHECK ADD CONSTRAINT [PK_CommIns] PRIMARY KEY  CLUSTERED ([QuoteID], [Line], [Number], [CoInType])  ON [PRIMARY];
ALTER TABLE [dbo].[CommIns] ADD CONSTRAINT [FK_CommIns_Details] FOREIGN KEY ([QuoteID],[Line]) REFERENCES [dbo].[Details] ([QuoteID], [Line]);
ALTER TABLE [dbo].[CommIns] ADD CONSTRAINT [DF_CommIns_CoInType] DEFAULT (0) FOR [CoInType];
CREATE TABLE [dbo].[OptFieldAR] ([CustomerID] [int] NOT NULL, [OptField] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [ofType] [tinyint] NULL, [ofValue] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [ofVDate] [datetime] NULL, [ofLength] [tinyint] NULL) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldAR] ADD CONSTRAINT [PK_OptFieldAR] PRIMARY KEY CLUSTERED ([CustomerID], [OptField]) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldAR] ADD CONSTRAINT [FK_OptFieldAR_Customer] FOREIGN KEY ([CustomerID]) REFERENCES [dbo].[Customer] ([CustomerID]);
CREATE TABLE [dbo].[OptFieldIC] ([ItemID] [int] NOT NULL, [OptField] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [ofType] [tinyint] NULL, [ofValue] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [ofVDate] [datetime] NULL, [ofLength] [tinyint] NULL) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldIC] ADD CONSTRAINT [PK_OptFieldIC] PRIMARY KEY CLUSTERED ([ItemID], [OptField]) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldIC] ADD CONSTRAINT [FK_OptFieldIC_Items] FOREIGN KEY ([ItemID]) REFERENCES [dbo].[Items] ([ItemID]);
CREATE TABLE [dbo].[OptFieldOE] ([QuoteID] [int] NOT NULL, [OptField] [varchar] (50) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [ofType] [tinyint] NULL, [ofValue] [varchar] (60) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [ofVDate] [datetime] NULL, [ofLength] [tinyint] NULL) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldOE] ADD CONSTRAINT [PK_OptFieldOE] PRIMARY KEY CLUSTERED ([QuoteID], [OptField]) ON [PRIMARY];
ALTER TABLE [dbo].[OptFieldOE] ADD CONSTRAINT [FK_OptFieldOE_Quote] FOREIGN KEY ([QuoteID]) REFERENCES [dbo].[Quote] ([QuoteID]);
CREATE TABLE [dbo].[QuoteConfidence] ([QuoteConfidID] [tinyint] IDENTITY (1, 1) NOT NULL, [qcName] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [qcCode] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [qcDescription] [varchar] (100) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [qcActive] [bit] NOT NULL) ON [PRIMARY];
ALTER TABLE [dbo].[QuoteConfidence] WITH NOCHECK ADD CONSTRAINT [PK_QuoteConfidence] PRIMARY KEY  CLUSTERED ([QuoteConfidID]) ON [PRIMARY];
ALTER TABLE [dbo].[QuoteConfidence] ADD CONSTRAINT [DF_QuoteConfidence_qcActive] DEFAULT (1) FOR [qcActive];
CREATE TABLE [dbo].[QuoteType] ([QuoteTypeID] [tinyint] IDENTITY (1, 1) NOT NULL, [qtName] [varchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL, [qtCode] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [qtDescription] [varchar] (100) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, [qtActive] [bit] NOT NULL) ON [PRIMARY];
ALTER TABLE [dbo].[QuoteType] WITH NOCHECK ADD CONSTRAINT [PK_QuoteType] PRIMARY KEY  CLUSTERED ([QuoteTypeID]) ON [PRIMARY];
ALTER TABLE [dbo].[QuoteType] ADD CONSTRAINT [DF_QuoteType_qtActive] DEFAULT (1) FOR [qtActive];
--@progress 40
