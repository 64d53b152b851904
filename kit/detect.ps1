# Detection script: the computer counts as done (output and exit 0) when install.cmd recorded an
# outcome that stops further runs (TZ594K-stop.txt), or when the program's detection answers 99
# (every supported drive at 1.01) or 1 (no supported drive). The same gate as install.cmd's.
$dir = if ($env:TZ594K_DIR) { $env:TZ594K_DIR } else { Join-Path $env:ProgramData 'TZ594K' }
$stop = Join-Path $dir 'TZ594K-stop.txt'
if (Test-Path $stop) { Write-Output "TZ594K stopped: $(Get-Content $stop -TotalCount 1)"; exit 0 }
$exe = Join-Path $dir 'TZ594K_for_ZEMO_V101.exe'
if (-not (Test-Path $exe)) { exit 0 }
$run = Start-Process -FilePath $exe -ArgumentList '/DC' -Wait -PassThru -WindowStyle Hidden
if ($run.ExitCode -eq 99 -or $run.ExitCode -eq 1) { Write-Output "TZ594K detection $($run.ExitCode)" }
exit 0
