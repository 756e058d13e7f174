# Tavri observation hook for Claude Code (fallback for machines without Node.js).
#
# Reads the hook's JSON from standard input, wraps it in a hook envelope and
# posts it to the local Tavri dashboard server. Whatever happens it exits 0
# and stays silent, so Claude Code is never disturbed.
#
# Usage: powershell -NoProfile -ExecutionPolicy Bypass -File observe_hook.ps1 [-Port N] [-Url URL]

param(
    [int]$Port = 3000,
    [string]$Url = ''
)

$ErrorActionPreference = 'Stop'
$ProgressPreference = 'SilentlyContinue'

try {
    # Claude Code writes UTF-8; the console default would be the OEM code page.
    try { [Console]::InputEncoding = [System.Text.Encoding]::UTF8 } catch { }
    $raw = [Console]::In.ReadToEnd()
    if ([string]::IsNullOrWhiteSpace($raw)) { exit 0 }

    try { $data = $raw | ConvertFrom-Json } catch { exit 0 }
    if ($null -eq $data -or -not ($data -is [System.Management.Automation.PSCustomObject])) { exit 0 }
    $hookName = $data.hook_event_name
    if (-not ($hookName -is [string]) -or $hookName -eq '') { exit 0 }

    if ($Url -ne '') {
        $target = "$Url/api/v1/ingest/event"
    } else {
        # $HOME is read-only in PowerShell, hence the different name.
        $homeDir = if ($env:USERPROFILE) { $env:USERPROFILE } elseif ($env:HOME) { $env:HOME } else { '.' }
        $portFile = Join-Path (Join-Path $homeDir '.tavri') 'port'
        if (Test-Path -LiteralPath $portFile -PathType Leaf) {
            $parsed = 0
            $text = (Get-Content -LiteralPath $portFile -Raw)
            if ($null -ne $text -and [int]::TryParse($text.Trim(), [ref]$parsed) -and $parsed -gt 0 -and $parsed -le 65535) {
                $Port = $parsed
            }
        }
        $target = "http://127.0.0.1:$Port/api/v1/ingest/event"
    }

    if (-not $data.model) {
        foreach ($name in @('CLAUDE_MODEL', 'ANTHROPIC_MODEL', 'ANTHROPIC_DEFAULT_MODEL', 'OPENAI_MODEL')) {
            $value = [Environment]::GetEnvironmentVariable($name)
            if ($value) {
                $data | Add-Member -NotePropertyName 'model' -NotePropertyValue $value -Force
                break
            }
        }
    }

    $flags = @{}
    if ($hookName -eq 'SessionStart') {
        $flags['startsSession'] = $true
        $flags['clearsNotification'] = $true
    } elseif ($hookName -eq 'SessionEnd' -or $hookName -eq 'Stop') {
        $flags['stopsSession'] = $true
    }

    $sessionId = if ($data.session_id -is [string] -and $data.session_id -ne '') { $data.session_id } else { 'unknown' }
    $agentId = if ($data.agent_id -is [string] -and $data.agent_id -ne '') { $data.agent_id } else { 'root' }
    $toolName = if ($data.tool_name -is [string]) { $data.tool_name } else { '' }
    $cwd = if ($data.cwd -is [string] -and $data.cwd -ne '') { $data.cwd } else { (Get-Location).Path }

    $envelope = @{
        agentClass = 'claude-code'
        sessionId  = $sessionId
        agentId    = $agentId
        hookName   = $hookName
        toolName   = $toolName
        payload    = $data
        cwd        = $cwd
        timestamp  = [DateTimeOffset]::UtcNow.ToUnixTimeMilliseconds()
        flags      = $flags
    }

    $body = $envelope | ConvertTo-Json -Compress -Depth 5
    # Send bytes so non-ASCII text arrives as UTF-8 in every PowerShell version.
    $bytes = [System.Text.Encoding]::UTF8.GetBytes($body)
    try {
        Invoke-RestMethod -Uri $target -Method Post -ContentType 'application/json' -Body $bytes -TimeoutSec 5 -UseBasicParsing | Out-Null
    } catch { }
} catch { }

exit 0
