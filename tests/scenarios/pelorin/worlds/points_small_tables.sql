CREATE TABLE "Channel1Device1" ("DeviceName" TEXT, "Temp" TEXT, "TempUNIT" TEXT,
  "TempLL" INTEGER, "TempLO" INTEGER, "TempHI" INTEGER, "TempHH" INTEGER, "Press" TEXT,
  "PressUNIT" TEXT, "PressLL" INTEGER, "PressLO" INTEGER, "PressHI" INTEGER, "PressHH" INTEGER);
