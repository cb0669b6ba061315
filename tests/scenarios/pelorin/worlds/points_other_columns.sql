CREATE TABLE "Channel1Device1" ("DeviceName" TEXT, "Other" TEXT);
