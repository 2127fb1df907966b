# What the driver package holds, file by file: the one list the layout step
# and the package's tests share.
#   PACKAGE_MODULES   built modules, by their file names
#   PACKAGE_RENAMED   built modules that the network driver carries under a
#                     name of its own: "built=packaged"
#   PACKAGE_INSTALLED_AS  built modules the package carries only under
#                     another name: "built=packaged"
#   PACKAGE_DATA      files from package/ as they are
#   PACKAGE_MADE      files the layout step makes
#   PACKAGE_INFS      the INF files, from package/
#   PACKAGE_BUILT_AT  modules the build makes more than one of, by the one
#                     the package takes under that name: "name=path in the
#                     build folder"
set(PACKAGE_MODULES cardrend.dll cardcfg.dll cardres.dll cardresnet.dll notifysrv.dll notifytray.exe netmon.dll
                    instlib.dll drvsetup.exe purgelib.dll verstamp.dll)
# The USB language monitor goes into the system folder, where Windows' own
# USB port monitor is usbmon.dll: the package's file has a name of its own.
set(PACKAGE_INSTALLED_AS usbmon.dll=cardusbmon.dll)
set(PACKAGE_RENAMED cardrend.dll=cardrendnet.dll cardcfg.dll=cardcfgnet.dll)
set(PACKAGE_DATA cardcc.BMP cardribbon.INI)
set(PACKAGE_MADE carddrv.dat cardnet.dat cardhelp.chm)
set(PACKAGE_INFS carddrv.inf cardnet.inf)
# The message library's two text sets share the driver folder: the USB set
# as "cardres.dll" (USB monitor, tray program, configuration module), the
# network set as "cardresnet.dll" (network monitor).
set(PACKAGE_BUILT_AT cardres.dll=usbmon/cardres/x64/cardres.dll cardresnet.dll=usbmon/cardres/W32X86/cardres.dll)
